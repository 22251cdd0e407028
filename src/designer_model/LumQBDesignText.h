#pragma once

#include "LumQBModel.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

// A diagram as it is kept with its query: tables by name and alias with their window's
// place and size and ticked fields, links by table alias and field name, and the field
// grid's rows. Names only, no pointers, so a text can be read before any table exists.
struct TLumQBDesignTable
{
    QString Name;
    QString Alias;
    QRect Geometry;
    QStringList Ticked;
};

struct TLumQBDesignLink
{
    QString Alias1;
    QString Field1;
    QString Alias2;
    QString Field2;
    int JoinOperator = 0;
    TJoinKind JoinKind = jkInner;
};

struct TLumQBDesign
{
    QList<TLumQBDesignTable> Tables;
    QList<TLumQBDesignLink> Links;
    QList<TLumQBGridRow> Rows;
    bool UseGroupBy = false;
    QString OptionsClause;
    QString ClosingClause;
    // The statement the diagram made when it was kept: tells a statement changed by hand
    // from one that changed because the database lost a table.
    QString SQL;

    bool IsEmpty() const { return Tables.isEmpty(); }
};

// The version written; a text of a later version is refused rather than half read.
inline constexpr int kLumQBDesignVersion = 1;

// Compact UTF-8 JSON with a "version" key.
QString DesignToText(const TLumQBDesign& design);
// Reads a text DesignToText wrote, ignoring keys it does not know. Raises ELumQBException
// naming the problem for a text that is not such a design (malformed, truncated, of a
// later version, or with a value of the wrong kind).
TLumQBDesign DesignFromText(const QString& text);
