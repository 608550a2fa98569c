// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace storage {

namespace {

// The system's words for an error, in the language of the system.
std::u16string system_text(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD length
        = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::u16string words = text ? std::u16string(reinterpret_cast<const char16_t *>(text), length) : std::u16string();
    if (text)
        LocalFree(text);
    while (!words.empty() && (words.back() == u'\n' || words.back() == u'\r' || words.back() == u' '))
        words.pop_back();
    if (words.empty()) {
        words = u"Windows error ";
        for (const char digit : std::to_string(error))
            words += static_cast<char16_t>(digit);
    }
    return words;
}

// A device's reserved name (COM1, NUL, CON, with or without a folder or an extension) stands for
// the device, as does every name under \\.\ (pipes, ports, disks): the full path tells.
bool names_a_device(const std::filesystem::path &path)
{
    const std::wstring name = path.wstring();
    const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return false;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full.rfind(LR"(\\.\)", 0) == 0;
}

}  // namespace

OpenedFile open_regular_file(const std::filesystem::path &path)
{
    OpenedFile opened;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (names_a_device(path)
        || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
        opened.outcome = OpenOutcome::NotAFile;
        return opened;
    }
    // Shared as the file dialog and a spreadsheet share it: others may go on reading and writing.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        opened.reason = system_text(GetLastError());
        return opened;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        opened.outcome = OpenOutcome::NotAFile;
        return opened;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        opened.reason = system_text(ERROR_TOO_MANY_OPEN_FILES);
        return opened;
    }
    opened.outcome = OpenOutcome::Opened;
    opened.descriptor = fd;
    return opened;
}

std::optional<std::u16string> sync_to_disk(int)
{
    // Windows reports a full disk when it is written to, and committing the file flushes it.
    return std::nullopt;
}

}  // namespace storage
