// Status-line records the builder's tests share.
#ifndef QORVEL_TESTS_SUPPORT_RECORDS_H
#define QORVEL_TESTS_SUPPORT_RECORDS_H

#include <cstring>

#include "qorvel.h"

namespace qtest {

// Every text absent, both numbers 0.
inline cFileNftRecord absentRecord() {
    cFileNftRecord record;
    std::memset(&record, 0, sizeof record);
    return record;
}

// Every field given: the record of the documented example line.
inline cFileNftRecord fullRecord() {
    cFileNftRecord record = absentRecord();
    record.severity = 2;
    record.eText = "disk";
    record.uText = "operator";
    record.aText = "backup";
    record.vText = "2.1";
    record.fText = "archive";
    record.oValue = -5;
    record.pText = "copy";
    record.rValue = 7;
    record.tText = "Y";
    return record;
}

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_RECORDS_H
