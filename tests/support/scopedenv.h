#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace quillon::test {

// Sets an environment variable for the lifetime of the object; afterwards it is as it was,
// unset again when it was not set.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace quillon::test
