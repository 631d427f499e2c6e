// The engine's data resources, looked up by name.
//
// The line-pattern tables ("whites", "sec4") and the opening book ("japanese") are built
// into the executable; nothing is read from disk at run time except the exchange files.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace pentad {

/// The bytes of the named resource, or an empty span when there is no such resource.
std::span<const uint8_t> findResource(std::string_view name);

} // namespace pentad
