// Observable values and the components that read them.

#include "PluginTestSupport.h"

#include "Observable.h"

#include <gtest/gtest.h>

using namespace SondrelTest;
using Wickerlamp::Observable;

namespace {

/// Reads `a` always and `b` only while `readB` is set; paints from `c`.
struct Reader final : Wickerlamp::ObservingComponent {
    Observable<int>& a;
    Observable<int>& b;
    Observable<int>& c;
    bool readB = true;
    int seen = 0;

    Reader(Observable<int>& x, Observable<int>& y, Observable<int>& z) : a(x), b(y), c(z) { rebuild(); }

    void build() override { seen = a.get() + (readB ? b.get() : 0); }
    void draw(juce::Graphics&) override { (void) c.get(); }
};

} // namespace

TEST(Observation, ADifferentValueRebuildsItsReadersOncePerTurn)
{
    Observable<int> a{1}, b{2}, c{3};
    Reader readsBoth(a, b, c);
    readsBoth.readB = true;
    Reader readsA(a, b, c);
    readsA.readB = false;
    readsA.rebuild();
    const int both = readsBoth.buildCount();
    const int onlyA = readsA.buildCount();
    EXPECT_EQ(a.readerCount(), 2u);
    EXPECT_EQ(b.readerCount(), 1u);

    // Several changes in one turn: one rebuild each, after the turn.
    a.set(10);
    b.set(20);
    a.set(11);
    EXPECT_EQ(readsBoth.buildCount(), both);
    pumpMessages();
    EXPECT_EQ(readsBoth.buildCount(), both + 1);
    EXPECT_EQ(readsA.buildCount(), onlyA + 1);
    EXPECT_EQ(readsBoth.seen, 31);

    // b is read by one of them only.
    b.set(21);
    pumpMessages();
    EXPECT_EQ(readsBoth.buildCount(), both + 2);
    EXPECT_EQ(readsA.buildCount(), onlyA + 1);

    // An equal value notifies nobody, readers and callbacks alike.
    int callbacks = 0;
    a.addObserver([&](const int&) { ++callbacks; });
    EXPECT_FALSE(a.set(11));
    pumpMessages();
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(readsBoth.buildCount(), both + 2);
    EXPECT_TRUE(a.set(12));
    EXPECT_EQ(callbacks, 1);
}

TEST(Observation, AComponentThatStoppedReadingIsLeftAlone)
{
    Observable<int> a{1}, b{2}, c{3};
    Reader reader(a, b, c);
    reader.readB = false;
    reader.rebuild();  // this build no longer reads b
    const int builds = reader.buildCount();
    b.set(5);
    pumpMessages();
    EXPECT_EQ(reader.buildCount(), builds);
    EXPECT_EQ(b.readerCount(), 0u);
    EXPECT_EQ(a.readerCount(), 1u);
}
