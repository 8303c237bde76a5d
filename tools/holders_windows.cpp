// qorvel holders on Windows: the processes the Restart Manager names as
// using the file, and two opens through the library that tell whether some
// handle denies reading or writing, where no process could be named.
#ifdef _WIN32

#include <windows.h>
// windows.h first: the Restart Manager's header needs its types.
#include <restartmanager.h>

#include <string>
#include <vector>

#include "cli.h"
#include "holders.h"

namespace qorvel_cli {

const char* const kHoldersPlatformHelp =
    "Asks the Restart Manager (RmGetList) which processes use PATH and prints\n"
    "each one's id and name. Windows says nothing there about handles, so no\n"
    "mode words and no locked ranges are shown. Then opens PATH twice through\n"
    "the library, for reading and for writing, both sharing everything, and\n"
    "closes it at once: a sharing violation means some handle denies that, and\n"
    "is said even when no process could be named (Wine's Restart Manager names\n"
    "none).\n";

namespace {

std::wstring wide(const std::string& text, UINT codePage) {
    int count = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring result(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, &result[0], count);
    result.resize(static_cast<size_t>(count - 1));
    return result;
}

std::string utf8(const wchar_t* text) {
    int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (count <= 0) return std::string();
    std::string result(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], count, nullptr, nullptr);
    result.resize(static_cast<size_t>(count - 1));
    return result;
}

// The processes the Restart Manager lists; false with `why` when it could
// not be asked.
bool restartManagerList(const std::wstring& path, std::vector<Holder>* holders, DWORD* why) {
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    *why = RmStartSession(&session, 0, key);
    if (*why != ERROR_SUCCESS) return false;
    LPCWSTR names[] = {path.c_str()};
    *why = RmRegisterResources(session, 1, names, 0, nullptr, 0, nullptr);
    std::vector<RM_PROCESS_INFO> found;
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    while (*why == ERROR_SUCCESS || *why == ERROR_MORE_DATA) {
        count = static_cast<UINT>(found.size());
        *why =
            RmGetList(session, &needed, &count, found.empty() ? nullptr : found.data(), &reasons);
        if (*why != ERROR_MORE_DATA) break;
        found.resize(needed);
    }
    RmEndSession(session);
    if (*why != ERROR_SUCCESS) return false;
    for (UINT i = 0; i < count && i < found.size(); ++i) {
        Holder holder;
        holder.pid = found[i].Process.dwProcessId;
        holder.command = utf8(found[i].strAppName);
        holders->push_back(holder);
    }
    return true;
}

// Opens and closes the file through the library: true when the open is
// refused for sharing.
bool refusedForSharing(const std::string& path, cFileMode mode) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileStatus status = cFileOpen(path.c_str(), mode, &handle);
    if (status == CFILE_OK) cFileClose(handle);
    return CFILE_STATUS_CODE(status) == CFILE_ERR_SHARING;
}

bool underWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

bool findHolders(const std::string& path, HolderSearch* search, std::string* error) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = "cannot be looked at (Win32 error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    DWORD why = 0;
    if (!restartManagerList(wide(path, CP_ACP), &search->holders, &why)) {
        search->unseen.push_back("the Restart Manager could not be asked (Win32 error " +
                                 std::to_string(why) + "): no process can be named");
    } else if (underWine()) {
        search->unseen.push_back(
            "under Wine the Restart Manager names no process: only two probing opens can tell");
    }
    bool readDenied = refusedForSharing(path, CFILE_ACCESS_READ | CFILE_SHARE_READWRITE);
    bool writeDenied = refusedForSharing(path, CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE);
    if (readDenied || writeDenied) {
        search->heldUnseen = true;
        std::string denied = readDenied && writeDenied ? "reading and writing"
                             : readDenied              ? "reading"
                                                       : "writing";
        search->unseen.push_back("an open sharing everything is refused for " + denied +
                                 ": a handle that denies it holds the file");
    }
    return true;
}

}  // namespace qorvel_cli

#endif  // _WIN32
