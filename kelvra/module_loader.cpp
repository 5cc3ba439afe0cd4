#include "module_loader.h"

#include <algorithm>
#include <cctype>
#include <dlfcn.h>
#include <map>
#include <mutex>

namespace kelvra {

kv_output_module_descriptor nullOutputDescriptor();

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string baseLibraryName(std::string_view library) {
    const size_t slash = library.find_last_of("/\\");
    if (slash != std::string_view::npos)
        library.remove_prefix(slash + 1);
    const std::string low = lower(library);
    for (std::string_view ending : {".dll", ".so"})
        if (low.size() > ending.size() && low.ends_with(ending))
            library.remove_suffix(ending.size());
    return std::string(library);
}

void fillInformation(Module &module) {
    if (module.descriptor.get_information == nullptr)
        return;
    kv_module_information info{};
    if (module.descriptor.get_information(&info, KV_MODULE_INFO_FILL) != KV_MODULE_OK)
        return;
    info.name[sizeof info.name - 1] = '\0';
    info.description[sizeof info.description - 1] = '\0';
    module.name = info.name;
    module.description = info.description;
}

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const Module>> modules;
};

Registry &registry() {
    static Registry r;
    return r;
}

} // namespace

std::string engineDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&engineDirectory), &info) != 0 &&
        info.dli_fname != nullptr) {
        std::string path = info.dli_fname;
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            return path.substr(0, slash + 1);
    }
    return "./";
}

ModuleLookup loadModule(std::string_view location) {
    const size_t at = location.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 >= location.size())
        return {nullptr, Error::InvalidArgument};
    const std::string function(location.substr(0, at));
    const std::string library = baseLibraryName(location.substr(at + 1));
    if (library.empty())
        return {nullptr, Error::InvalidArgument};
    const std::string key = function + "@" + lower(library);

    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    if (auto it = r.modules.find(key); it != r.modules.end())
        return {it->second, Error::None};

    const std::string dir = engineDirectory();
    void *handle = nullptr;
    for (const std::string &candidate :
         {dir + "lib" + library + ".so", dir + library + ".so", dir + lower(library) + ".so",
          dir + "lib" + lower(library) + ".so"}) {
        handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr)
            break;
    }
    if (handle == nullptr)
        return {nullptr, Error::ModuleNotFound};
    auto registerFn =
        reinterpret_cast<kv_output_module_register_fn>(dlsym(handle, function.c_str()));
    if (registerFn == nullptr) {
        dlclose(handle);
        return {nullptr, Error::RegisterFunctionNotFound};
    }
    auto module = std::make_shared<Module>();
    module->location = std::string(location);
    if (registerFn(&module->descriptor) != KV_MODULE_OK ||
        (module->descriptor.interface_version >> 16) !=
            (KV_OUTPUT_MODULE_INTERFACE_VERSION >> 16) ||
        module->descriptor.new_instance == nullptr || module->descriptor.write == nullptr ||
        module->descriptor.delete_instance == nullptr) {
        dlclose(handle);
        return {nullptr, Error::ModuleRefused};
    }
    fillInformation(*module);
    if (module->name.empty())
        module->name = function;
    // The library stays loaded for the rest of the process (see Module).
    r.modules.emplace(key, module);
    return {module, Error::None};
}

std::shared_ptr<const Module> nullOutputModule() {
    static const std::shared_ptr<const Module> module = [] {
        auto m = std::make_shared<Module>();
        m->location = "null_output@kelvra";
        m->descriptor = nullOutputDescriptor();
        fillInformation(*m);
        return m;
    }();
    return module;
}

} // namespace kelvra
