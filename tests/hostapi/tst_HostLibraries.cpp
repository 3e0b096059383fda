#include "HostLibraries.h"

// GLib's headers come before Qt's (Qt's keyword macro "signals").
#include <curl/curl.h>
#include <gmime/gmime.h>

#include <QtTest>

// The host initialises libcurl, GMime and OpenSSL once for the whole process.
class tst_HostLibraries : public QObject {
    Q_OBJECT

private slots:
    void initializeOnceForTheProcess() {
        QVERIFY(!hostapi::HostLibraries::IsInitialized());
        hostapi::HostLibraries::Initialize();
        hostapi::HostLibraries::Initialize();
        QVERIFY(hostapi::HostLibraries::IsInitialized());

        // GMime parses only after g_mime_init.
        InternetAddressList* addresses =
            internet_address_list_parse(nullptr, "Anna Muster <anna@example.com>, bert@example.com");
        QVERIFY(addresses);
        QCOMPARE(internet_address_list_length(addresses), 2);
        g_object_unref(addresses);

        CURL* curl = curl_easy_init();
        QVERIFY(curl);
        curl_easy_cleanup(curl);
        QVERIFY(curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_SSL);
    }
};

QTEST_GUILESS_MAIN(tst_HostLibraries)
#include "tst_HostLibraries.moc"
