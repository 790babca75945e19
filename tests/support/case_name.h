#pragma once

#include <gtest/gtest.h>

#include <string>

namespace velmoran::test {

// Names each row of a parameterised test after its `name` field.
struct CaseName {
    template <class T> std::string operator()(const ::testing::TestParamInfo<T>& row) const {
        return row.param.name;
    }
};

} // namespace velmoran::test

#include <QString>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
