#pragma once

// One test program per subsystem holds several QtTest classes. Each class registers itself with
// ORVALT_TEST(ClassName) in its own .cpp file; TestMain.cpp runs them all and fails if any fails.
// Run one class with: test_shell -class ClassName [QtTest options...]

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace orvalt::test {

struct Registration
{
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};

std::vector<Registration>& registry();

struct Registrar
{
    Registrar(const char* name, std::function<std::unique_ptr<QObject>()> make)
    {
        registry().push_back({name, std::move(make)});
    }
};

} // namespace orvalt::test

#define ORVALT_TEST(Class)                                                                                   \
    static const ::orvalt::test::Registrar orvaltRegistrar_##Class(#Class,                                   \
                                                                   [] { return std::make_unique<Class>(); })
