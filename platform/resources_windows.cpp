// Resources on Windows: the data files are compiled into the executable as RCDATA
// resources and found by name.
#include <windows.h>

#include <string>

#include "platform/resources.h"

namespace pentad {

std::span<const uint8_t> findResource(std::string_view name) {
    const std::string resourceName(name);
    HRSRC info = FindResourceA(nullptr, resourceName.c_str(), MAKEINTRESOURCEA(10));
    if (!info) return {};
    HGLOBAL handle = LoadResource(nullptr, info);
    if (!handle) return {};
    const DWORD size = SizeofResource(nullptr, info);
    const void *data = LockResource(handle);
    if (!data) return {};
    return {static_cast<const uint8_t *>(data), size_t(size)};
}

} // namespace pentad
