#include "sources/ListSorts.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace Sources;

namespace {

enum class Shape {
    FewLengths,
    Realistic,
    AllEqual,
    Ascending,
    Descending,
    EmptiesAndCrs,
    ManyLengths,
    DescendingRuns
};

// Realistic label lengths: 1..20, mostly 4..10.
int realisticLabelLength(QRandomGenerator &rng)
{
    return rng.bounded(10) < 8 ? 4 + rng.bounded(7) : 1 + rng.bounded(20);
}

QList<int> lengthsFor(Shape shape, int n, QRandomGenerator &rng)
{
    QList<int> lengths(n);
    switch (shape) {
    case Shape::FewLengths: {
        QList<int> values(2 + rng.bounded(3));
        for (int &v : values)
            v = rng.bounded(13);
        for (int &l : lengths)
            l = values[rng.bounded(int(values.size()))];
        break;
    }
    case Shape::Realistic:
        for (int &l : lengths)
            l = realisticLabelLength(rng) + 4;
        break;
    case Shape::AllEqual:
        std::fill(lengths.begin(), lengths.end(), rng.bounded(9));
        break;
    case Shape::Ascending:
    case Shape::Descending:
        for (int &l : lengths)
            l = rng.bounded(25);
        std::sort(lengths.begin(), lengths.end());
        if (shape == Shape::Descending)
            std::reverse(lengths.begin(), lengths.end());
        break;
    case Shape::EmptiesAndCrs:
        for (int &l : lengths)
            l = rng.bounded(10) < 3 ? 0 : rng.bounded(7);
        break;
    case Shape::ManyLengths:
        for (int &l : lengths)
            l = rng.bounded(std::min(n, 600) + 1);
        break;
    case Shape::DescendingRuns:
        for (int i = 0; i < n;) {
            for (int l = rng.bounded(40); l >= 0 && i < n; l -= 1 + rng.bounded(3))
                lengths[i++] = l;
        }
        break;
    }
    return lengths;
}

// Entries of equal length must differ, or a wrong order among them would go unseen: each starts
// with its serial number in letters, filled up with random letters; some end with a CR.
QStringList listFor(Shape shape, int n, QRandomGenerator &rng)
{
    QStringList list;
    list.reserve(n);
    const bool crs = shape == Shape::EmptiesAndCrs;
    int serial = 0;
    for (int length : lengthsFor(shape, n, rng)) {
        QString entry(length, Qt::Uninitialized);
        int id = serial++;
        for (QChar &c : entry) {
            c = QChar(u'a' + (id > 0 ? id % 26 : rng.bounded(26)));
            id /= 26;
        }
        if (crs && length > 0 && rng.bounded(3) == 0)
            entry.back() = u'\r';
        list.append(entry);
    }
    return list;
}

bool lengthsAscend(const QStringList &list)
{
    return std::is_sorted(list.cbegin(), list.cend(),
                          [](const QString &a, const QString &b) { return a.size() < b.size(); });
}

QStringList sortedTexts(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

class TestSourceSorts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sortByLength_data();
    void sortByLength();
    void sortByLengthRandom_data();
    void sortByLengthRandom();
    void sortByLengthLarge_data();
    void sortByLengthLarge();
    void sortBySize_data();
    void sortBySize();
    void sizeSortTexts();
};

void TestSourceSorts::sortByLength_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("sorted");

    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("one") << QStringList{"abc"} << QStringList{"abc"};
    QTest::newRow("equal lengths keep order, texts never compared")
        << QStringList{"zz", "aa", "mm"} << QStringList{"zz", "aa", "mm"};
    // The exchange procedure is not stable: b1 and b2 end up reversed.
    QTest::newRow("not stable") << QStringList{"b1", "b2", "a"} << QStringList{"a", "b2", "b1"};
    QTest::newRow("chain of three per pass")
        << QStringList{"ccc", "bb", "a", "dd", "e"} << QStringList{"a", "e", "dd", "bb", "ccc"};
    QTest::newRow("empty entry and CR")
        << QStringList{"abc", "", "ab\r", "a"} << QStringList{"", "a", "ab\r", "abc"};
    QTest::newRow("reversed") << QStringList{"dddd", "ccc", "bb", "a"}
                              << QStringList{"a", "bb", "ccc", "dddd"};
}

void TestSourceSorts::sortByLength()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, sorted);
    QStringList literal = input;
    SortByLengthLiteral(literal);
    QCOMPARE(literal, sorted);
    QStringList fast = input;
    SortByLength(fast);
    QCOMPARE(fast, sorted);
}

void TestSourceSorts::sortByLengthRandom_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("lists");
    QTest::addColumn<int>("maxSize");

    const std::pair<Shape, const char *> shapes[] = {
        {Shape::FewLengths, "few lengths"},   {Shape::Realistic, "realistic"},
        {Shape::AllEqual, "all equal"},       {Shape::Ascending, "ascending"},
        {Shape::Descending, "descending"},    {Shape::EmptiesAndCrs, "empties and CRs"},
        {Shape::ManyLengths, "many lengths"}, {Shape::DescendingRuns, "descending runs"}};
    const struct {
        const char *name;
        int lists;
        int maxSize;
    } bands[] = {{"small", 300, 40}, {"medium", 30, 500}, {"large", 3, 3000}};
    quint32 seed = 20240601;
    for (const auto &[shape, shapeName] : shapes) {
        for (const auto &band : bands) {
            QTest::addRow("%s, %s", shapeName, band.name)
                << int(shape) << seed++ << band.lists << band.maxSize;
        }
    }
}

void TestSourceSorts::sortByLengthRandom()
{
    QFETCH(int, shape);
    QFETCH(quint32, seed);
    QFETCH(int, lists);
    QFETCH(int, maxSize);
    QRandomGenerator rng(seed);
    for (int k = 0; k < lists; ++k) {
        const int n = rng.bounded(maxSize + 1);
        const QStringList input = listFor(Shape(shape), n, rng);
        QStringList literal = input;
        SortByLengthLiteral(literal);
        QStringList fast = input;
        SortByLength(fast);
        QVERIFY2(fast == literal, qPrintable(u"list %1 of %2 entries differs from the exchange "
                                             u"procedure"_qs.arg(k)
                                                 .arg(n)));
        QVERIFY(lengthsAscend(literal));
    }
}

void TestSourceSorts::sortByLengthLarge_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("size");

    QTest::newRow("100000 few lengths") << int(Shape::FewLengths) << 100000;
    QTest::newRow("a million realistic") << int(Shape::Realistic) << 1000000;
}

// Too large for the reference: checks that nothing is lost or damaged, that lengths ascend, and
// that the shortest entries keep their order (each pass takes the first of the shortest left).
void TestSourceSorts::sortByLengthLarge()
{
    QFETCH(int, shape);
    QFETCH(int, size);
    QRandomGenerator rng(7);
    const QStringList input = listFor(Shape(shape), size, rng);
    QStringList fast = input;
    SortByLength(fast);
    QCOMPARE(fast.size(), input.size());
    QVERIFY(lengthsAscend(fast));
    QCOMPARE(sortedTexts(fast), sortedTexts(input));

    const qsizetype shortest = fast.first().size();
    QStringList shortestInOrder;
    for (const QString &entry : input) {
        if (entry.size() == shortest)
            shortestInOrder.append(entry);
    }
    QCOMPARE(fast.first(shortestInOrder.size()), shortestInOrder);
}

void TestSourceSorts::sortBySize_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("sorted");

    QTest::newRow("the sample") << kSizeSortSample
                                << QStringList{"26",  "35",   "47",   "54",   "56",   "68",
                                               "95",  "120",  "456",  "484",  "488",  "512",
                                               "782", "1256", "3123", "8948", "45968"};
    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("leading numbers, duplicates kept")
        << QStringList{"  12abc", "3.5x", "-4", "abc", "\t7", "+7", "007"}
        << QStringList{"-4", "0", "3.5", "7", "7", "7", "12"};
    QTest::newRow("point first or last, negative zero")
        << QStringList{".5", "-.5", "5.", "-0"} << QStringList{"-0.5", "0", "0.5", "5"};
    QTest::newRow("no number") << QStringList{"", ".", "-", "e5", "x1"}
                               << QStringList{"0", "0", "0", "0", "0"};
    QTest::newRow("stops at separators") << QStringList{"1,000", "12 34"} << QStringList{"1", "12"};
    QTest::newRow("exponent") << QStringList{"2e3", "3E2x", "1e", "1e+", "5e-1"}
                              << QStringList{"0.5", "1", "1", "300", "2000"};
    QTest::newRow("shortest round trip")
        << QStringList{"0.1", "0.30000000000000004"} << QStringList{"0.1", "0.30000000000000004"};
    QTest::newRow("plain range ends")
        << QStringList{"1e21", "1e20", "0.000001", "1.5e-7"}
        << QStringList{"1.5e-07", "0.000001", "100000000000000000000", "1e+21"};
    QTest::newRow("beyond a double")
        << QStringList{"1e400", "-1e400", "1"} << QStringList{"-inf", "1", "inf"};
}

void TestSourceSorts::sortBySize()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, sorted);
    QCOMPARE(SortBySize(input), sorted);
}

void TestSourceSorts::sizeSortTexts()
{
    QCOMPARE(kSizeSortSample,
             (QStringList{"95", "54", "26", "47", "68", "35", "120", "56", "484", "1256", "782",
                          "45968", "512", "488", "456", "8948", "3123"}));
    QCOMPARE(kSizeSortInitialResult, (QStringList{"5", "6", "4"}));
}

QTEST_GUILESS_MAIN(TestSourceSorts)
#include "tst_sources_sorts.moc"
