#include "support/TestMain.h"

#include <QApplication>
#include <QTest>
#include <cstring>

namespace orvalt::test {

std::vector<Registration>& registry()
{
    static std::vector<Registration> all;
    return all;
}

} // namespace orvalt::test

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);

    // "-class Name" picks one class; everything else goes to QtTest unchanged.
    const char* only = nullptr;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-class") == 0 && i + 1 < argc) {
            only = argv[++i];
            continue;
        }
        args.push_back(argv[i]);
    }
    int failures = 0;
    for (const auto& reg : orvalt::test::registry()) {
        if (only && std::strcmp(only, reg.name) != 0)
            continue;
        auto object = reg.make();
        failures += QTest::qExec(object.get(), static_cast<int>(args.size()), args.data());
    }
    return failures == 0 ? 0 : 1;
}
