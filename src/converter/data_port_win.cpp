// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/data_port.h"

#include "converter/device_name.h"

#include <windows.h>

#include <string>

namespace converter {
namespace {

class WinDataPort final : public DataPort {
public:
    ~WinDataPort() override { close(); }

    bool open(const std::string &name, std::int32_t baud) override
    {
        close();
        const std::string path = device_path(name);
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) {
            close();
            return false;
        }
        dcb.BaudRate = static_cast<DWORD>(baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        // Reads return at once with what has come.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = 200;
        if (!SetCommState(handle_, &dcb) || !SetCommTimeouts(handle_, &timeouts)) {
            close();
            return false;
        }
        PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
        return true;
    }
    void close() override
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    bool is_open() const override { return handle_ != INVALID_HANDLE_VALUE; }
    bool write(const QByteArray &bytes) override
    {
        DWORD written = 0;
        return is_open() && WriteFile(handle_, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr)
            && written == static_cast<DWORD>(bytes.size());
    }
    std::optional<QByteArray> read() override
    {
        if (!is_open())
            return std::nullopt;
        QByteArray bytes;
        char buffer[4096];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr))
                return std::nullopt;
            bytes.append(buffer, static_cast<qsizetype>(got));
            if (got < sizeof buffer)
                return bytes;
        }
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<DataPort> make_data_port() { return std::make_unique<WinDataPort>(); }

std::vector<std::string> usb_serial_ports()
{
    // The COM ports the system knows of, from its device map; a board's is one of them.
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        char value_name[256];
        DWORD name_size = sizeof value_name;
        char data[64];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, value_name, &name_size, nullptr, &type, reinterpret_cast<BYTE *>(data), &data_size)
            != ERROR_SUCCESS)
            break;
        // A motherboard's own ports are listed under \Device\Serial; USB ones under other names.
        if (type == REG_SZ && std::string(value_name).find("\\Device\\Serial") != 0)
            ports.emplace_back(data, strnlen(data, data_size));
    }
    RegCloseKey(key);
    return ports;
}

}  // namespace converter
