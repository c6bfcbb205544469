// Holds a file open without sharing, as a scanner or a running program does:
//   file_holder PATH SECONDS
// Prints "holding" once the file is held and lets go after SECONDS. Exit code 2 when
// the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: file_holder PATH SECONDS\n");
        return 1;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open: error %lu\n", GetLastError());
        return 2;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10) * 1000));
    CloseHandle(file);
    return 0;
}
