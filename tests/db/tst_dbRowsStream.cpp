// Streaming builders: while a TDbRowsStreaming lives, rows reach its sink in bounded
// batches, in order, each result once marked first, and nothing stays behind.
#include "uDbRowsBuilder.h"

#include <QtTest>

#include <numeric>
#include <thread>

namespace {

// Keeps what the builder hands over, as text, with the shape of each batch.
struct Collector : TDbRowsSink
{
    QStringList values;
    QList<qsizetype> batchRows;
    QList<qsizetype> batchBytes;
    QList<bool> firsts;
    QList<TDbFieldType> lastTypes;

    void Rows(const TDbRows& batch, bool first) override
    {
        batchRows << batch.RowCount();
        batchBytes << batch.MemoryBytes();
        firsts << first;
        lastTypes.clear();
        for (const TDbField& f : batch.Fields())
            lastTypes << f.type;
        for (qsizetype r = 0; r < batch.RowCount(); ++r)
            for (int c = 0; c < batch.FieldCount(); ++c)
                values << (batch.IsNull(r, c) ? QStringLiteral("<null>") : batch.AsString(r, c));
    }
};

QList<TDbField> fields(std::initializer_list<TDbFieldType> types)
{
    QList<TDbField> list;
    int i = 0;
    for (TDbFieldType t : types)
        list << TDbField{QStringLiteral("c%1").arg(i), QStringLiteral("c%1").arg(i++), t, QString(), 0};
    return list;
}

} // namespace

class tst_dbRowsStream : public QObject
{
    Q_OBJECT

private slots:
    void rowsArriveInOrderInBoundedBatches_data()
    {
        QTest::addColumn<int>("rows");
        for (int n : {0, 1, 4095, 4096, 4097, 10000})
            QTest::addRow("%d rows", n) << n;
    }
    void rowsArriveInOrderInBoundedBatches()
    {
        QFETCH(int, rows);
        Collector sink;
        TDbRowsPtr finished;
        {
            const TDbRowsStreaming streaming(sink);
            TDbRowsBuilder b(fields({TDbFieldType::Integer, TDbFieldType::String}));
            b.SetWarning(QStringLiteral("a value was left out"));
            for (int i = 0; i < rows; ++i) {
                b.AppendInteger(i);
                if (i % 5 == 0)
                    b.AppendNull();
                else
                    b.AppendText(QStringLiteral("v%1").arg(i));
            }
            finished = b.Finish();
        }
        QStringList expected;
        for (int i = 0; i < rows; ++i)
            expected << QString::number(i) << (i % 5 == 0 ? QStringLiteral("<null>") : QStringLiteral("v%1").arg(i));
        QCOMPARE(sink.values, expected);
        QVERIFY(!sink.firsts.isEmpty());
        QCOMPARE(sink.firsts.count(true), 1);
        QVERIFY(sink.firsts.first());
        for (qsizetype n : sink.batchRows)
            QVERIFY(n <= 4096);
        // The builder keeps nothing: the fields and warning without rows.
        QCOMPARE(finished->RowCount(), 0);
        QCOMPARE(finished->FieldCount(), 2);
        QCOMPARE(finished->Warning(), QStringLiteral("a value was left out"));
    }

    // Wide values close a batch early, so memory stays bounded by bytes as well as rows.
    void wideValuesCloseBatchesEarly()
    {
        Collector sink;
        const TDbRowsStreaming streaming(sink);
        TDbRowsBuilder b(fields({TDbFieldType::Memo}));
        const QByteArray big(1 << 20, 'x');
        for (int i = 0; i < 200; ++i)
            b.AppendText(big.constData(), big.size());
        b.Finish();
        QCOMPARE(std::accumulate(sink.batchRows.begin(), sink.batchRows.end(), qsizetype(0)), qsizetype(200));
        QVERIFY2(sink.batchRows.size() > 1, "200 MiB of text came as one batch");
        for (qsizetype bytes : sink.batchBytes)
            QVERIFY2(bytes < qsizetype(32) << 20, qPrintable(QString::number(bytes)));
    }

    // A column that turns to text keeps that kind for the batches after it; each batch
    // reports its own field types.
    void columnKindCarriesAcrossBatches()
    {
        Collector sink;
        const TDbRowsStreaming streaming(sink);
        TDbRowsBuilder b(fields({TDbFieldType::Integer}));
        for (int i = 0; i < 5000; ++i)
            b.AppendInteger(i);
        b.AppendText(QStringLiteral("not a number"));
        for (int i = 0; i < 5000; ++i)
            b.AppendInteger(i);
        b.Finish();
        QCOMPARE(sink.lastTypes, QList<TDbFieldType>{TDbFieldType::String});
        QCOMPARE(sink.values.size(), 10001);
        QCOMPARE(sink.values[5000], QStringLiteral("not a number"));
        QCOMPARE(sink.values.last(), QStringLiteral("4999"));
    }

    // Only builders with fields stream, only inside the scope, on its own thread; the
    // innermost scope wins and the outer one is restored.
    void scopeDecidesWhichBuildersStream()
    {
        Collector outer, inner;
        TDbRowsPtr noFields, nested, afterInner, outside, otherThread;
        {
            const TDbRowsStreaming a(outer);
            noFields = TDbRowsBuilder({}).Finish();
            {
                const TDbRowsStreaming b(inner);
                nested = TDbRowsBuilder::FromStrings({QStringLiteral("x")}, {{QStringLiteral("1")}});
            }
            afterInner = TDbRowsBuilder::FromStrings({QStringLiteral("x")}, {{QStringLiteral("2")}});
            std::thread([&otherThread] {
                otherThread = TDbRowsBuilder::FromStrings({QStringLiteral("x")}, {{QStringLiteral("3")}});
            }).join();
        }
        outside = TDbRowsBuilder::FromStrings({QStringLiteral("x")}, {{QStringLiteral("4")}});
        QCOMPARE(inner.values, QStringList{QStringLiteral("1")});
        QCOMPARE(outer.values, QStringList{QStringLiteral("2")});
        QCOMPARE(outer.firsts.size(), 1); // the builder without fields gave nothing
        QCOMPARE(nested->RowCount(), 0);
        QCOMPARE(otherThread->RowCount(), 1);
        QCOMPARE(outside->RowCount(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_dbRowsStream)
#include "tst_dbRowsStream.moc"
