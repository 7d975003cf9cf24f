#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <ostream>
#include <string>

// A parameterised case that carries its own name: the name is the test's name and what a failure
// prints. Cases derive from it and are listed with CaseName():
//   struct ReadCase : NamedCase { int value; };
//   INSTANTIATE_TEST_SUITE_P(Cases, Reads, testing::Values(ReadCase{"Zero", 0}), CaseName());
struct NamedCase
{
    const char *name;
};

template <std::derived_from<NamedCase> Case>
void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.name;
}

struct CaseName
{
    template <typename Info>
    std::string operator()(const Info &info) const
    {
        return info.param.name;
    }
};
