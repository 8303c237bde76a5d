// cFileBuildNftBuffer against a formatter written here on its own: random
// records (each text null or any bytes, random severity and numbers), a
// caller's stamp or the clock's. The line goes into a heap buffer exactly as
// long as the expected line and its terminator, so AddressSanitizer stops a
// single byte written past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "qorvel.h"

namespace {

std::string textOr(const char* text, const char* fallback) {
    return text != nullptr ? text : fallback;
}

// The line of a record with the given stamp text, without the terminator.
std::string expectedLine(const std::string& stamp, const cFileNftRecord& r) {
    std::string line = "/D=" + stamp;
    line += r.severity == 0 || r.severity == 1 ? " /S=Err" : " /S=Warn";
    line += " /E=" + textOr(r.eText, "NA");
    line += " /U=" + textOr(r.uText, "NA");
    line += " /A=" + textOr(r.aText, "NA");
    line += " /V=" + textOr(r.vText, "0");
    line += " /F=" + textOr(r.fText, "NA");
    line += " /O=" + std::to_string(static_cast<long>(r.oValue));
    line += " /P=" + textOr(r.pText, "NA");
    line += " /R=" + std::to_string(static_cast<int>(r.rValue));
    line += " /T=" + textOr(r.tText, "N");
    return line + "\r\n";
}

// A clock stamp: years since 1900 (three digits until 2899), "/MM/DD hh:mm:ss".
bool isClockStamp(const char* text) {
    const char* pattern = "ddd/dd/dd dd:dd:dd";
    for (size_t i = 0; pattern[i] != '\0'; ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

[[noreturn]] void finding(const char* what, const std::string& expected, const char* got) {
    std::fprintf(stderr, "%s\nexpected: %s\nanswered: %s\n", what, expected.c_str(), got);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    cFileNftRecord record{};
    record.severity = input.ConsumeIntegral<int16_t>();
    record.oValue = input.ConsumeIntegral<int32_t>();
    record.rValue = input.ConsumeIntegral<int16_t>();
    const bool clock = input.ConsumeBool();
    // Texts are C strings: whatever bytes up to the first NUL.
    std::string texts[8];
    bool present[8];
    for (int i = 0; i < 8; ++i) {
        present[i] = input.ConsumeBool();
        texts[i] = input.ConsumeRandomLengthString(200).c_str();
    }
    const char* stamp = present[7] && !clock ? texts[7].c_str() : nullptr;
    auto text = [&](int i) { return present[i] ? texts[i].c_str() : nullptr; };
    record.eText = text(0);
    record.uText = text(1);
    record.aText = text(2);
    record.vText = text(3);
    record.fText = text(4);
    record.pText = text(5);
    record.tText = text(6);

    // A clock stamp is 18 bytes long; a caller's is copied (none: "").
    std::string stampText = stamp != nullptr ? stamp : (clock ? std::string(18, '?') : "");
    const cFileNftRecord* given = &record;
    if (!clock && !present[7] && input.ConsumeBool()) given = nullptr;  // no record at all
    cFileNftRecord empty{};
    std::string expected = expectedLine(stampText, given != nullptr ? record : empty);
    if (!clock && stamp == nullptr) {
        // A null stamp means the clock; "" is the caller's empty stamp.
        stamp = "";
    }

    std::unique_ptr<char[]> out(new char[expected.size() + 1]);
    cFileStatus status = cFileBuildNftBuffer(clock ? nullptr : stamp, given, out.get());
    if (status != 0) finding("the builder failed", expected, out.get());
    if (std::strlen(out.get()) != expected.size())
        finding("the line's length", expected, out.get());
    if (clock) {
        if (!isClockStamp(out.get() + 3)) finding("the clock stamp", expected, out.get());
        std::memcpy(out.get() + 3, stampText.data(), stampText.size());
    }
    if (expected != out.get()) finding("the line", expected, out.get());
    return 0;
}
