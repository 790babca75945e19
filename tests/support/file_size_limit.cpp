#include "support/file_size_limit.h"

#include <gtest/gtest.h>

#include <csignal>

namespace velmoran::test {

void withFileSizeLimit(rlim_t bytes, const std::function<void()>& action) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    action();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

} // namespace velmoran::test
