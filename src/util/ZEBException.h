#pragma once
// Root of the library's exceptions. Internally a failure that aborts an
// operation throws one of these; the C interface turns every exception into
// the fatal result code, so none ever reaches the host.

#include <exception>
#include <string>

namespace ZEBInternal {

class ZEBException : public std::exception {
public:
    ZEBException(std::string type, std::string message)
        : type_(std::move(type)), message_(std::move(message)), full_(type_ + ": " + message_) {}
    ~ZEBException() override = default;

    virtual std::string getType() const { return type_; }
    virtual std::string getMessage() const { return message_; }
    virtual std::string getFullMessage() const { return full_; }
    const char* what() const noexcept override { return full_.c_str(); }

private:
    std::string type_;
    std::string message_;
    std::string full_;  // type + ": " + message, kept so what() can point into it
};

// Thrown by the transport.
class ZEBNetworkException : public ZEBException {
public:
    explicit ZEBNetworkException(std::string message)
        : ZEBException("NetworkException", std::move(message)) {}
};

// Thrown by the mutexes, condition variables and worker threads.
class ZEBConcurrencyException : public ZEBException {
public:
    explicit ZEBConcurrencyException(std::string message)
        : ZEBException("ConcurrencyException", std::move(message)) {}
};

}  // namespace ZEBInternal
