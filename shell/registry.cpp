#include "shell/registry.h"

#include "base/exception.h"

namespace pq::shell {

std::string ReadTextOrEmpty(MachineRegistry& registry, std::string_view key,
                            std::string_view value) {
    RegistryText r = registry.ReadText(key, value);
    switch (r.status) {
        case RegistryText::Status::kFound:
            return std::move(r.text);
        case RegistryText::Status::kWrongType:
            throw ERegistryException("Invalid data type for '" + std::string(value) + "'");
        case RegistryText::Status::kKeyMissing:
        case RegistryText::Status::kValueMissing:
            break;
    }
    return {};
}

}  // namespace pq::shell
