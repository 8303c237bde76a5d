// qorvel check on Windows: the volume under a path, by its root's drive type
// and file system name.
#ifdef _WIN32

#include <windows.h>

#include <string>

#include "check.h"
#include "cli.h"

namespace qorvel_cli {

const char* const kCheckPlatformHelp =
    "The file system is the volume under PATH (GetVolumePathName,\n"
    "GetDriveType, GetVolumeInformation): a volume of this machine, or an SMB\n"
    "share (a network drive or a \\\\server\\share path), whose file server keeps\n"
    "every client's share modes and locks. How the server treats a client it\n"
    "lost (durable and persistent handles) no client can ask, and other kinds\n"
    "of network file system are not told apart: for those it says it cannot tell.\n";

namespace {

std::string lastErrorText(DWORD error) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH) {
        return "it does not exist (Win32 error " + std::to_string(error) + ")";
    }
    if (error == ERROR_ACCESS_DENIED) return "no permission to look (Win32 error 5)";
    return "Win32 error " + std::to_string(error);
}

}  // namespace

bool inspectFileSystem(const std::string& path, FileSystem* fileSystem, std::string* error) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = lastErrorText(GetLastError());
        return false;
    }
    char root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameA(path.c_str(), root, sizeof root)) {
        *error = lastErrorText(GetLastError());
        return false;
    }
    fileSystem->mountPoint = root;
    char name[MAX_PATH + 1] = {};
    if (GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, sizeof name)) {
        fileSystem->type = name;
    } else {
        fileSystem->type = "unnamed";
        fileSystem->unread.push_back(
            "the volume's file system (GetVolumeInformation: Win32 error " +
            std::to_string(GetLastError()) + ")");
    }
    bool unc = root[0] == '\\' && root[1] == '\\';
    switch (GetDriveTypeA(root)) {
        case DRIVE_FIXED:
        case DRIVE_REMOVABLE:
        case DRIVE_CDROM:
        case DRIVE_RAMDISK:
            fileSystem->kind = unc ? FileSystemKind::windowsShare : FileSystemKind::localDisk;
            break;
        case DRIVE_REMOTE: fileSystem->kind = FileSystemKind::windowsShare; break;
        default:
            fileSystem->kind = unc ? FileSystemKind::windowsShare : FileSystemKind::unknown;
            break;
    }
    fileSystem->source = root;
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        fileSystem->unread.push_back(
            "under Wine, the host's file system beneath the drive (the Linux build of qorvel "
            "check names it)");
    }
    return true;
}

}  // namespace qorvel_cli

#endif  // _WIN32
