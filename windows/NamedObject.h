#pragma once

#include <QString>

namespace emailmarketing {

// Gives a control or action the object name the windows and their tests find it by.
template <class T> T* Named(T* AObject, const char* AName) {
    AObject->setObjectName(QString::fromLatin1(AName));
    return AObject;
}

} // namespace emailmarketing
