#pragma once

#include "errors.h"
#include "kelvra_interface.h"

#include <memory>
#include <string>
#include <string_view>

namespace kelvra {

// An output module (device or filter) whose register function filled a
// descriptor. Modules stay loaded for the life of the process, so a
// descriptor's function pointers never dangle while any chain or mixer uses
// them.
struct Module {
    std::string location; // "register_function@library" as first asked for
    kv_output_module_descriptor descriptor{};
    std::string name;
    std::string description;
    bool isDevice() const { return descriptor.open != nullptr; }
};

struct ModuleLookup {
    std::shared_ptr<const Module> module;
    Error error = Error::None;
};

// "function@library.dll" names the register function and the library; the
// library is looked for as lib<library>.so and <library>.so beside the engine
// (a path or a ".dll"/".so" ending is accepted and stripped).
ModuleLookup loadModule(std::string_view location);

// Built into the engine: the silent sink paced in real time.
std::shared_ptr<const Module> nullOutputModule();

// The folder libkelvra.so was loaded from, with a trailing slash.
std::string engineDirectory();

// Well-known modules the engine loads on its own when an output name needs one.
inline constexpr std::string_view kSoundCardModule =
    "dsound_output_module_register@kv_dsound_output.dll";
inline constexpr std::string_view kWavModule = "wav_output_module_register@kv_wav_output.dll";

} // namespace kelvra
