// The machine's readers of the platform seam (machine_seam.h) on Windows.
// Every function beyond the kernel's and the user interface's own is looked
// up by name, so the program still needs only Windows' own libraries and
// starts where one of them is missing.
#include "engine/machine_seam.h"

#include <windows.h>

#include <cpuid.h>

#include <cstring>

#include "text/text_buffer.h"

namespace {

// Through void* so the cast between unrelated function types is explicit.
template <typename Function>
Function found(HMODULE module, const char* name) {
    const FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

bool utf8Of(const wchar_t* wide, int length, char* out, std::size_t capacity) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, out, static_cast<int>(capacity - 1), nullptr, nullptr);
    if (size <= 0) return false;
    out[wholeCharacters(out, static_cast<std::size_t>(size))] = '\0';
    return true;
}

}  // namespace

bool readComputerName(char* out, std::size_t capacity) {
    wchar_t wide[256];
    DWORD length = sizeof wide / sizeof wide[0];
    if (GetComputerNameExW(ComputerNameDnsHostname, wide, &length) == 0 || length == 0) return false;
    return utf8Of(wide, static_cast<int>(length), out, capacity);
}

bool readWindowsVersion(char* out, std::size_t capacity) {
    // GetVersionEx answers what the manifest claims; the kernel's own call
    // tells the truth.
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = found<GetVersion>(GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (getVersion == nullptr || getVersion(&version) != 0) return false;
    char major[24];
    char minor[24];
    char build[24];
    formatInteger(major, version.dwMajorVersion);
    formatInteger(minor, version.dwMinorVersion);
    formatInteger(build, version.dwBuildNumber);
    joinText(out, capacity, {major, ".", minor, ".", build});
    return true;
}

bool readProcessorName(char* out, std::size_t capacity) {
    // The brand string the processor itself holds (what Windows shows as
    // its name), 48 bytes in three leaves; no library and no registry.
    unsigned int highest = __get_cpuid_max(0x80000000, nullptr);
    if (highest < 0x80000004) return false;
    char brand[49] = {};
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        unsigned int registers[4] = {};
        __cpuid(0x80000002 + leaf, registers[0], registers[1], registers[2], registers[3]);
        std::memcpy(brand + std::size_t{16} * leaf, registers, sizeof registers);
    }
    if (brand[0] == '\0') return false;
    joinText(out, capacity, {brand});
    return true;
}

bool readPowerPlanName(char* out, std::size_t capacity) {
    // powrprof.dll from the system folder only, never from beside the
    // program; without it (or its functions) the plan is unknown.
    wchar_t path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::memcpy(path + length, L"\\powrprof.dll", sizeof L"\\powrprof.dll");
    HMODULE library = LoadLibraryW(path);
    if (library == nullptr) return false;
    using GetActiveScheme = DWORD(WINAPI*)(HKEY, GUID**);
    using ReadFriendlyName = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, UCHAR*, DWORD*);
    const auto getActive = found<GetActiveScheme>(library, "PowerGetActiveScheme");
    const auto readName = found<ReadFriendlyName>(library, "PowerReadFriendlyName");
    bool read = false;
    GUID* scheme = nullptr;
    if (getActive != nullptr && readName != nullptr && getActive(nullptr, &scheme) == ERROR_SUCCESS && scheme != nullptr) {
        wchar_t name[128] = {};
        DWORD size = sizeof name - sizeof name[0];  // bytes, room left for the terminator
        if (readName(nullptr, scheme, nullptr, nullptr, reinterpret_cast<UCHAR*>(name), &size) == ERROR_SUCCESS &&
            name[0] != L'\0') {
            read = utf8Of(name, -1, out, capacity);
        }
    }
    if (scheme != nullptr) LocalFree(scheme);
    FreeLibrary(library);
    return read;
}

bool readTimerResolution(TimerResolution& out) {
    // In 100 ns units; the kernel calls the coarsest its "maximum".
    using QueryResolution = LONG(WINAPI*)(ULONG*, ULONG*, ULONG*);
    const auto query = found<QueryResolution>(GetModuleHandleA("ntdll.dll"), "NtQueryTimerResolution");
    ULONG coarsest = 0;
    ULONG finest = 0;
    ULONG current = 0;
    if (query == nullptr || query(&coarsest, &finest, &current) != 0) return false;
    out = TimerResolution{current, finest, coarsest};
    return true;
}

bool setTimerResolution(std::int64_t hundredNs, bool set, std::int64_t& granted) {
    // Documented values of ProcessPowerThrottling, not in MinGW-w64's
    // headers: keep the resolution asked for while no window is shown.
    constexpr int processPowerThrottling = 4;
    constexpr ULONG throttlingVersion = 1;
    constexpr ULONG ignoreTimerResolution = 0x4;
    struct PowerThrottlingState {
        ULONG version;
        ULONG controlMask;
        ULONG stateMask;
    };
    if (set) {
        using SetInformation = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
        const auto setInformation = found<SetInformation>(GetModuleHandleA("kernel32.dll"), "SetProcessInformation");
        PowerThrottlingState state = {throttlingVersion, ignoreTimerResolution, 0};
        if (setInformation != nullptr) setInformation(GetCurrentProcess(), processPowerThrottling, &state, sizeof state);
    }
    using SetResolution = LONG(WINAPI*)(ULONG, BOOLEAN, ULONG*);
    const auto setResolution = found<SetResolution>(GetModuleHandleA("ntdll.dll"), "NtSetTimerResolution");
    ULONG actual = 0;
    if (setResolution == nullptr || setResolution(static_cast<ULONG>(hundredNs), set ? TRUE : FALSE, &actual) < 0) {
        return false;
    }
    granted = static_cast<std::int64_t>(actual);
    return true;
}
