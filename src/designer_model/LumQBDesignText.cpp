#include "LumQBDesignText.h"

#include "LumQBException.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

[[noreturn]] void Refuse(const QString& problem)
{
    throw ELumQBException(QStringLiteral("The saved diagram cannot be read: %1.").arg(problem));
}

QJsonObject Object(const QJsonValue& v, const QString& what)
{
    if (!v.isObject())
        Refuse(QStringLiteral("%1 is not an object").arg(what));
    return v.toObject();
}

QJsonArray Array(const QJsonObject& o, const QString& key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return {};
    if (!v.isArray())
        Refuse(QStringLiteral("\"%1\" is not a list").arg(key));
    return v.toArray();
}

QString Text(const QJsonObject& o, const QString& key, bool required = false)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() && !required)
        return {};
    if (!v.isString())
        Refuse(QStringLiteral("\"%1\" is missing or not a text").arg(key));
    return v.toString();
}

int Number(const QJsonObject& o, const QString& key, int low, int high)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return low < 0 && high > 0 ? 0 : low;
    const double d = v.toDouble(double(low) - 1);
    if (!v.isDouble() || d != double(int(d)) || d < low || d > high)
        Refuse(QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(key).arg(low).arg(high));
    return int(d);
}

bool Flag(const QJsonObject& o, const QString& key, bool absent)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return absent;
    if (!v.isBool())
        Refuse(QStringLiteral("\"%1\" is not true or false").arg(key));
    return v.toBool();
}

// Window places stay within what a screen can show, so a damaged text cannot place a
// window a billion pixels away.
constexpr int kMaxCoordinate = 100000;

} // namespace

QString DesignToText(const TLumQBDesign& design)
{
    QJsonArray tables;
    for (const TLumQBDesignTable& t : design.Tables)
        tables.append(QJsonObject{{QStringLiteral("name"), t.Name},
                                  {QStringLiteral("alias"), t.Alias},
                                  {QStringLiteral("x"), t.Geometry.x()},
                                  {QStringLiteral("y"), t.Geometry.y()},
                                  {QStringLiteral("width"), t.Geometry.width()},
                                  {QStringLiteral("height"), t.Geometry.height()},
                                  {QStringLiteral("ticked"), QJsonArray::fromStringList(t.Ticked)}});
    QJsonArray links;
    for (const TLumQBDesignLink& l : design.Links)
        links.append(QJsonObject{{QStringLiteral("alias1"), l.Alias1},
                                 {QStringLiteral("field1"), l.Field1},
                                 {QStringLiteral("alias2"), l.Alias2},
                                 {QStringLiteral("field2"), l.Field2},
                                 {QStringLiteral("operator"), l.JoinOperator},
                                 {QStringLiteral("join"), int(l.JoinKind)}});
    QJsonArray rows;
    for (const TLumQBGridRow& r : design.Rows)
        rows.append(QJsonObject{{QStringLiteral("field"), r.Column},
                                {QStringLiteral("table"), r.Table},
                                {QStringLiteral("output"), r.Output},
                                {QStringLiteral("caption"), r.Caption},
                                {QStringLiteral("sortType"), r.SortType},
                                {QStringLiteral("sortOrder"), r.SortOrder},
                                {QStringLiteral("groupBy"), r.GroupBy},
                                {QStringLiteral("criteria"), r.Criteria}});
    QJsonObject root{{QStringLiteral("version"), kLumQBDesignVersion},
                     {QStringLiteral("tables"), tables},
                     {QStringLiteral("links"), links},
                     {QStringLiteral("rows"), rows},
                     {QStringLiteral("groupBy"), design.UseGroupBy}};
    if (!design.OptionsClause.isEmpty())
        root.insert(QStringLiteral("options"), design.OptionsClause);
    if (!design.ClosingClause.isEmpty())
        root.insert(QStringLiteral("closing"), design.ClosingClause);
    if (!design.SQL.isEmpty())
        root.insert(QStringLiteral("sql"), design.SQL);
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

TLumQBDesign DesignFromText(const QString& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        Refuse(QStringLiteral("%1 at character %2").arg(error.errorString()).arg(error.offset));
    const QJsonObject root =
        Object(doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(), QStringLiteral("the text"));
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() < 1)
        Refuse(QStringLiteral("it has no version number"));
    if (version.toDouble() > kLumQBDesignVersion)
        Refuse(
            QStringLiteral("it was written by a later version (%1) of the program").arg(version.toDouble()));

    TLumQBDesign design;
    for (const QJsonValue& v : Array(root, QStringLiteral("tables"))) {
        const QJsonObject o = Object(v, QStringLiteral("a table"));
        TLumQBDesignTable t;
        t.Name = Text(o, QStringLiteral("name"), true);
        t.Alias = Text(o, QStringLiteral("alias"));
        t.Geometry = QRect(Number(o, QStringLiteral("x"), -kMaxCoordinate, kMaxCoordinate),
                           Number(o, QStringLiteral("y"), -kMaxCoordinate, kMaxCoordinate),
                           Number(o, QStringLiteral("width"), 0, kMaxCoordinate),
                           Number(o, QStringLiteral("height"), 0, kMaxCoordinate));
        for (const QJsonValue& f : Array(o, QStringLiteral("ticked"))) {
            if (!f.isString())
                Refuse(QStringLiteral("a ticked field is not a text"));
            t.Ticked.append(f.toString());
        }
        design.Tables.append(t);
    }
    for (const QJsonValue& v : Array(root, QStringLiteral("links"))) {
        const QJsonObject o = Object(v, QStringLiteral("a link"));
        TLumQBDesignLink l;
        l.Alias1 = Text(o, QStringLiteral("alias1"), true);
        l.Field1 = Text(o, QStringLiteral("field1"), true);
        l.Alias2 = Text(o, QStringLiteral("alias2"), true);
        l.Field2 = Text(o, QStringLiteral("field2"), true);
        l.JoinOperator = Number(o, QStringLiteral("operator"), 0, 5);
        l.JoinKind = TJoinKind(Number(o, QStringLiteral("join"), jkInner, jkFullOuter));
        design.Links.append(l);
    }
    for (const QJsonValue& v : Array(root, QStringLiteral("rows"))) {
        const QJsonObject o = Object(v, QStringLiteral("a grid row"));
        TLumQBGridRow r;
        r.Column = Text(o, QStringLiteral("field"), true);
        r.Table = Text(o, QStringLiteral("table"), true);
        r.Output = Flag(o, QStringLiteral("output"), true);
        r.Caption = Text(o, QStringLiteral("caption"));
        if (o.contains(QStringLiteral("sortType")))
            r.SortType = Text(o, QStringLiteral("sortType"));
        r.SortOrder = Number(o, QStringLiteral("sortOrder"), 0, 100000);
        r.GroupBy = Text(o, QStringLiteral("groupBy"));
        r.Criteria = Text(o, QStringLiteral("criteria"));
        design.Rows.append(r);
    }
    design.UseGroupBy = Flag(root, QStringLiteral("groupBy"), false);
    design.OptionsClause = Text(root, QStringLiteral("options"));
    design.ClosingClause = Text(root, QStringLiteral("closing"));
    design.SQL = Text(root, QStringLiteral("sql"));
    return design;
}
