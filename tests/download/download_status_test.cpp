#include <gtest/gtest.h>

#include "download/download_status.h"

namespace plover {
namespace {

TEST(DownloadStatus, EveryRowCarriesItsOwnNumber) {
    for (uint32_t row = 0; row < kDownloadStatusRows; ++row) {
        EXPECT_EQ(StatusRow(kDownloadStatusTable[row].value), row);
        EXPECT_EQ(StatusFromRow(row), kDownloadStatusTable[row].value);
        EXPECT_STREQ(StatusText(kDownloadStatusTable[row].value), kDownloadStatusTable[row].text);
    }
}

TEST(DownloadStatus, ClassesAndFlags) {
    struct Row {
        DownloadStatus s;
        uint32_t cls;
        bool autoRetry, pausable, transient, held, saved;
    } rows[] = {
        {DS_NONE, DSC_IDLE, false, false, false, false, false},
        {DS_WAITING, DSC_IDLE, true, true, false, false, false},
        {DS_DOWNLOADING, DSC_BUSY, true, true, false, false, false},
        {DS_SITE_NOT_FOUND, DSC_FAILED, true, false, false, false, true},
        {DS_TIMEOUT, DSC_FAILED, true, false, true, false, true},
        {DS_SERVER_ERROR, DSC_FAILED, false, false, true, false, true},
        {DS_CANT_CONNECT, DSC_FAILED, true, false, true, false, true},
        {DS_WAIT_FOR_USER, DSC_FAILED, false, true, false, true, false},
        {DS_TGT_FILE_EXISTS, DSC_IDLE, false, false, false, true, true},
        {DS_TEMPORARILY_UNAVAILABLE, DSC_FAILED, true, false, false, true, false},
        {DS_FINISHED, DSC_IDLE, false, false, false, false, true},
        {DS_FILE_TOO_BIG, DSC_FAILED, false, false, false, false, true},
        {DS_DISK_FULL, DSC_FAILED, false, false, false, false, true},  // never retried by itself
        {DS_TOO_MANY_REDIRECTS, DSC_FAILED, false, false, false, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(StatusText(r.s));
        EXPECT_EQ(StatusClass(r.s), r.cls);
        EXPECT_EQ(StatusHas(r.s, DSF_AUTO_RETRY), r.autoRetry);
        EXPECT_EQ(StatusHas(r.s, DSF_PAUSABLE), r.pausable);
        EXPECT_EQ(IsTransientFailure(r.s), r.transient);
        EXPECT_EQ(StatusHas(r.s, DSF_HELD), r.held);
        EXPECT_EQ(StatusHas(r.s, DSF_SAVED), r.saved);
        EXPECT_EQ(IsStoppingFailure(r.s), r.cls == DSC_FAILED && !r.transient);
    }
}

TEST(DownloadStatus, RowsOutsideTheTableAndTexts) {
    // Rows added later follow the first 29, whose saved numbers stay as they were.
    EXPECT_EQ(StatusFromRow(28), DS_NOT_MODIFIED);
    EXPECT_EQ(StatusFromRow(29), DS_DISK_FULL);
    EXPECT_EQ(StatusFromRow(30), DS_TOO_MANY_REDIRECTS);
    EXPECT_EQ(StatusFromRow(31), DS_CERT_EXPIRED);
    EXPECT_EQ(StatusFromRow(34), DS_PROXY_REFUSED);
    EXPECT_EQ(StatusFromRow(35), DS_NONE);
    EXPECT_STREQ(StatusText(DS_CERT_OTHER_HOST), "Certificate is for another host");
    EXPECT_STREQ(StatusText(DS_CERT_NOT_TRUSTED), "Certificate not trusted");
    EXPECT_EQ(StatusFromRow(40), DS_NONE);
    EXPECT_STREQ(StatusText(DS_FILE_NOT_FOUND), "File not found");
    EXPECT_STREQ(StatusText(0x00120005), " ");  // a row number with the wrong bits is not a status
    EXPECT_EQ(StatusFromText("Tgt file exists"), DS_TGT_FILE_EXISTS);
    EXPECT_EQ(StatusFromText("Disk full"), DS_DISK_FULL);
    EXPECT_EQ(StatusFromText("nothing"), DS_NONE);
}

}  // namespace
}  // namespace plover
