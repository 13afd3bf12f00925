#pragma once

#include <stdexcept>
#include <string>

// The engine's only error, thrown by the application-removal step alone.
// `failed` carries a complete sentence for the user; `adminCancelled` means the administrator
// prompt was declined. It carries no text of its own for adminCancelled: whoever shows it decides.
class EngineError : public std::exception {
public:
    enum class Kind { failed, adminCancelled };

    static EngineError failed(std::string sentence) {
        return EngineError(Kind::failed, std::move(sentence));
    }
    static EngineError adminCancelled() { return EngineError(Kind::adminCancelled, {}); }

    Kind kind() const { return kind_; }
    const std::string& sentence() const { return sentence_; } // empty for adminCancelled
    const char* what() const noexcept override {
        return kind_ == Kind::failed ? sentence_.c_str() : "adminCancelled";
    }

private:
    EngineError(Kind kind, std::string sentence) : kind_(kind), sentence_(std::move(sentence)) {}
    Kind kind_;
    std::string sentence_;
};
