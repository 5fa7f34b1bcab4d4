// Prints figures for the platform's value-tree notification path; never
// asserts on time.
#include "values.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {
struct NullObserver : IObserver
{
    void Update(Observable*, TChangeCode) override {}
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    auto value = values::Tree::Instance()->CreateValue<values::Value<int>>(QStringLiteral("/bench/v"), 0);
    NullObserver observers[4];
    for (auto& o : observers)
        value->AddObserver(&o);

    const int rounds = 200000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        value->Set(i, nullptr);
    const qint64 ns = timer.nsecsElapsed();
    out << "benchmark                          | figure\n";
    out << "value write, 4 null observers      | " << double(ns) / rounds << " ns/write\n";

    timer.restart();
    for (int i = 0; i < rounds; ++i)
        values::Tree::Instance()->Find(QStringLiteral("/bench/v"));
    out << "path lookup (2 levels)             | " << double(timer.nsecsElapsed()) / rounds << " ns/lookup\n";
    for (auto& o : observers)
        value->RemoveObserver(&o);
    return 0;
}
