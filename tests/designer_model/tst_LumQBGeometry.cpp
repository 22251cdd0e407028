#include "LumQBGeometry.h"

#include <QtTest>

using namespace LumQBGeometry;

using Points = QList<QPoint>;

class tst_LumQBGeometry : public QObject
{
    Q_OBJECT
private slots:
    void linkPlacementAndLine_data();
    void linkPlacementAndLine();
    void hitBandTakesOnlyTheMiddleSegment_data();
    void hitBandTakesOnlyTheMiddleSegment();
    void joinImageByKindAndArrangement_data();
    void joinImageByKindAndArrangement();
    void fieldRowStaysAboveTheWindowBottom_data();
    void fieldRowStaysAboveTheWindowBottom();
    void newTableSizeAndCascade();
    void captionShortenedFromItsEnd();
};

void tst_LumQBGeometry::linkPlacementAndLine_data()
{
    QTest::addColumn<QRect>("window1");
    QTest::addColumn<int>("y1");
    QTest::addColumn<QRect>("window2");
    QTest::addColumn<int>("y2");
    QTest::addColumn<bool>("self");
    QTest::addColumn<int>("arrangement");
    QTest::addColumn<int>("slope");
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<Points>("line");

    // Windows 127 wide: the first's right edge is 147.
    const QRect left(20, 20, 127, 163);
    QTest::newRow("Table1 left of Table2, row 1 higher")
        << left << 60 << QRect(300, 40, 127, 163) << 90 << false << 1 << 1 << QRect(147, 53, 153, 44)
        << Points{{0, 7}, {15, 7}, {138, 37}, {153, 37}};
    QTest::newRow("Table1 left of Table2, row 1 lower")
        << left << 90 << QRect(300, 40, 127, 163) << 60 << false << 1 << 2 << QRect(147, 53, 153, 44)
        << Points{{153, 7}, {138, 7}, {15, 37}, {0, 37}};
    QTest::newRow("Table1 right of Table2, row 1 higher")
        << QRect(300, 40, 127, 163) << 60 << left << 90 << false << 4 << 1 << QRect(147, 53, 153, 44)
        << Points{{153, 7}, {138, 7}, {15, 37}, {0, 37}};
    QTest::newRow("Table1 right of Table2, row 1 lower")
        << QRect(300, 40, 127, 163) << 90 << left << 60 << false << 4 << 2 << QRect(147, 53, 153, 44)
        << Points{{0, 7}, {15, 7}, {138, 37}, {153, 37}};
    QTest::newRow("same rows count as slope 2")
        << left << 60 << QRect(300, 40, 127, 163) << 60 << false << 1 << 2 << QRect(147, 53, 153, 14)
        << Points{{153, 7}, {138, 7}, {15, 7}, {0, 7}};
    QTest::newRow("gap of exactly 15 is overlapping")
        << left << 60 << QRect(162, 200, 127, 163) << 250 << false << 2 << 1 << QRect(147, 53, 157, 204)
        << Points{{0, 7}, {15, 7}, {152, 197}, {142, 197}};
    QTest::newRow("Table1 15 right of Table2's edge is arrangement 4")
        << QRect(162, 200, 127, 163) << 250 << left << 60 << false << 4 << 2 << QRect(147, 53, 15, 204)
        << Points{{0, 7}, {15, 7}, {0, 197}, {15, 197}};
    QTest::newRow("overlapping, Table2's right edge greater")
        << left << 60 << QRect(100, 200, 127, 163) << 250 << false << 2 << 1 << QRect(147, 53, 95, 204)
        << Points{{0, 7}, {15, 7}, {90, 197}, {80, 197}};
    QTest::newRow("overlapping, Table2's right edge greater, row 1 lower")
        << left << 250 << QRect(100, 200, 127, 163) << 60 << false << 2 << 2 << QRect(147, 53, 95, 204)
        << Points{{80, 7}, {90, 7}, {15, 197}, {0, 197}};
    QTest::newRow("overlapping, Table1's right edge greater")
        << QRect(100, 20, 127, 163) << 60 << QRect(20, 200, 127, 163) << 250 << false << 3 << 1
        << QRect(147, 53, 95, 204) << Points{{80, 7}, {90, 7}, {15, 197}, {0, 197}};
    QTest::newRow("overlapping, Table1's right edge greater, row 1 lower")
        << QRect(100, 20, 127, 163) << 250 << QRect(20, 200, 127, 163) << 60 << false << 3 << 2
        << QRect(147, 53, 95, 204) << Points{{0, 7}, {15, 7}, {90, 197}, {80, 197}};
    QTest::newRow("equal right edges, Table1 further left: narrow bracket")
        << left << 60 << QRect(50, 200, 97, 163) << 250 << false << 2 << 1 << QRect(147, 53, 15, 204)
        << Points{{0, 7}, {3, 7}, {3, 197}, {0, 197}};
    QTest::newRow("equal right edges, Table1 further right")
        << QRect(50, 200, 97, 163) << 250 << left << 60 << false << 3 << 2 << QRect(147, 53, 15, 204)
        << Points{{0, 7}, {3, 7}, {3, 197}, {0, 197}};
    QTest::newRow("right edges 12 apart: w = 27 is still narrow")
        << left << 60 << QRect(30, 200, 129, 163) << 250 << false << 2 << 1 << QRect(147, 53, 27, 204)
        << Points{{0, 7}, {15, 7}, {15, 197}, {0, 197}};
    QTest::newRow("right edges 13 apart: w = 28 is wide")
        << left << 60 << QRect(30, 200, 130, 163) << 250 << false << 2 << 1 << QRect(147, 53, 28, 204)
        << Points{{0, 7}, {15, 7}, {23, 197}, {13, 197}};
    QTest::newRow("a window linked to itself: bracket at its right edge")
        << left << 60 << left << 90 << true << 0 << 1 << QRect(147, 53, 15, 44)
        << Points{{0, 7}, {10, 7}, {10, 37}, {0, 37}};
    QTest::newRow("a window linked to itself, second row higher")
        << left << 90 << left << 60 << true << 0 << 2 << QRect(147, 53, 15, 44)
        << Points{{0, 7}, {10, 7}, {10, 37}, {0, 37}};
}

void tst_LumQBGeometry::linkPlacementAndLine()
{
    QFETCH(QRect, window1);
    QFETCH(int, y1);
    QFETCH(QRect, window2);
    QFETCH(int, y2);
    QFETCH(bool, self);
    QFETCH(int, arrangement);
    QFETCH(int, slope);
    QFETCH(QRect, bounds);
    QFETCH(Points, line);
    const TLinkPlacement p = PlaceLink(window1, y1, window2, y2, self);
    QCOMPARE(p.Arrangement, arrangement);
    QCOMPARE(p.Slope, slope);
    QCOMPARE(p.Bounds, bounds);
    QCOMPARE(LinkPolyline(p.Arrangement, p.Slope, self, p.Bounds.width(), p.Bounds.height()), line);
}

void tst_LumQBGeometry::hitBandTakesOnlyTheMiddleSegment_data()
{
    QTest::addColumn<Points>("line");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("inside");
    const Points across{{0, 7}, {15, 7}, {138, 37}, {153, 37}};
    QTest::newRow("midpoint of the middle segment") << across << QPoint(76, 22) << true;
    QTest::newRow("4 pixels beside the segment's start") << across << QPoint(15, 11) << true;
    QTest::newRow("on the band's corner") << across << QPoint(20, 2) << true;
    QTest::newRow("on the first stub") << across << QPoint(2, 7) << false;
    QTest::newRow("on the last stub") << across << QPoint(150, 37) << false;
    QTest::newRow("8 pixels above the midpoint") << across << QPoint(76, 14) << false;
    QTest::newRow("empty corner of the bounds") << across << QPoint(150, 2) << false;
    const Points bracket{{0, 7}, {10, 7}, {10, 37}, {0, 37}};
    QTest::newRow("on the bracket's upright") << bracket << QPoint(10, 20) << true;
    QTest::newRow("left of the bracket's upright") << bracket << QPoint(3, 20) << false;
}

void tst_LumQBGeometry::hitBandTakesOnlyTheMiddleSegment()
{
    QFETCH(Points, line);
    QFETCH(QPoint, point);
    QFETCH(bool, inside);
    const Points band = LinkHitBand(line);
    QCOMPARE(band.size(), 4);
    QCOMPARE(band[0], line[1] + QPoint(5, -5));
    QCOMPARE(band[2], line[2] + QPoint(-5, 5));
    QCOMPARE(BandContains(band, point), inside);
}

void tst_LumQBGeometry::joinImageByKindAndArrangement_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("arrangement");
    QTest::addColumn<QString>("image");
    QTest::newRow("inner") << int(jkInner) << 4 << "QBINNERJOIN";
    QTest::newRow("full") << int(jkFullOuter) << 1 << "QBFULLOUTER";
    QTest::newRow("left, Table1 on the left") << int(jkLeftOuter) << 1 << "QBLEFTOUTER";
    QTest::newRow("left, overlapping 2") << int(jkLeftOuter) << 2 << "QBLEFTOUTER";
    QTest::newRow("left, overlapping 3") << int(jkLeftOuter) << 3 << "QBRIGHTOUTER";
    QTest::newRow("left, Table1 on the right") << int(jkLeftOuter) << 4 << "QBRIGHTOUTER";
    QTest::newRow("left, self") << int(jkLeftOuter) << 0 << "QBRIGHTOUTER";
    QTest::newRow("right, Table1 on the left") << int(jkRightOuter) << 1 << "QBRIGHTOUTER";
    QTest::newRow("right, Table1 on the right") << int(jkRightOuter) << 4 << "QBLEFTOUTER";
}

void tst_LumQBGeometry::joinImageByKindAndArrangement()
{
    QFETCH(int, kind);
    QFETCH(int, arrangement);
    QFETCH(QString, image);
    QCOMPARE(JoinImageName(TJoinKind(kind), arrangement), image);
}

void tst_LumQBGeometry::fieldRowStaysAboveTheWindowBottom_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("windowHeight");
    QTest::addColumn<int>("y");
    QTest::newRow("\"*\"") << 0 << 163 << 25;
    QTest::newRow("third field") << 3 << 163 << 64;
    QTest::newRow("row below a shrunk window") << 3 << 60 << 50;
    QTest::newRow("exactly at the limit") << 3 << 74 << 64;
}

void tst_LumQBGeometry::fieldRowStaysAboveTheWindowBottom()
{
    QFETCH(int, index);
    QFETCH(int, windowHeight);
    QFETCH(int, y);
    QCOMPARE(FieldRowY(index, kItemHeight, kCaptionHeight, windowHeight), y);
}

void tst_LumQBGeometry::newTableSizeAndCascade()
{
    QCOMPARE(CascadedPosition({100, 50}, 0), QPoint(100, 50));
    QCOMPARE(CascadedPosition({100, 50}, 2), QPoint(140, 90));
    // Four entries fit in 4 x 13 + 28; many entries keep the window's height.
    QCOMPARE(FittedHeight(4, 13, 163), 80);
    QCOMPARE(FittedHeight(12, 13, 163), 163);
    // Widened only when the caption needs more than the window has.
    QCOMPARE(FittedWidth(93, 127), 127);
    QCOMPARE(FittedWidth(94, 127), 128);
    QCOMPARE(FittedWidth(160, 127), 194);
}

void tst_LumQBGeometry::captionShortenedFromItsEnd()
{
    const auto sevenEach = [](const QString& s) { return int(s.size()) * 7; };
    QCOMPARE(ShortenFromEnd("Customers : C", 200, sevenEach), QString("Customers : C"));
    QCOMPARE(ShortenFromEnd("Customers : C", 63, sevenEach), QString("Customers"));
    QCOMPARE(ShortenFromEnd("Customers : C", 62, sevenEach), QString("Customer"));
    QCOMPARE(ShortenFromEnd("Customers : C", 3, sevenEach), QString());
}

QTEST_GUILESS_MAIN(tst_LumQBGeometry)
#include "tst_LumQBGeometry.moc"
