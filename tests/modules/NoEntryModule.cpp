// A shared library without InitProc: the host must refuse it as a module.
extern "C" __attribute__((visibility("default"))) int NotAModule() {
    return 0;
}
