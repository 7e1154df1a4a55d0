#include "threading/ConcurrencyError.h"

#include "util/ZEBException.h"

namespace ZEBInternal {

std::string concurrencyMessage(const std::string& kind, const std::string& name,
                               const std::string& operation) {
    std::string message;
    if (!kind.empty()) {
        message += kind;
        message += ' ';
    }
    if (!name.empty()) {
        message += '\'';
        message += name;
        message += "' ";
    }
    message += operation;
    return message;
}

std::string concurrencyMessage(const std::string& kind, const std::string& name,
                               const std::string& operation, int code) {
    return concurrencyMessage(kind, name, operation) + " (" + std::to_string(code) + ")";
}

void throwConcurrencyError(const std::string& kind, const std::string& name,
                           const std::string& operation) {
    throw ZEBConcurrencyException(concurrencyMessage(kind, name, operation));
}

void throwConcurrencyError(const std::string& kind, const std::string& name,
                           const std::string& operation, int code) {
    throw ZEBConcurrencyException(concurrencyMessage(kind, name, operation, code));
}

}  // namespace ZEBInternal
