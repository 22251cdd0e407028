#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class TLumQBDiagram;
class TLumQBGridData;

// Writes a table, field or alias name into the statement. A connection supplies its own
// (TDbConnection::QuoteName); without one the bracket form below is used.
using TLumQBQuoteName = std::function<QString(const QString&)>;

// A name as written in the statement when no connection says otherwise: unchanged when
// it is a plain identifier and no reserved word, else bracketed with a "]" inside doubled.
QString QuoteTableName(const QString& name);
QString QuoteFieldName(const QString& name);

// The SELECT statement of a diagram, one clause per line: columns in the order of the
// tables and their fields, inner links and criteria in WHERE, outer links as join lines,
// then GROUP BY, ORDER BY and the closing clause. grid may be null (every ticked field is
// then a plain shown column). Every table, alias, field and caption name goes through
// quote (null: QuoteTableName), so no name can end the statement or change its meaning.
// Changes nothing; raises ELumQBException
// "Can't find row for column \"%s\" in table \"%s\"" when a ticked field has no grid row.
QStringList GetSQL(const TLumQBDiagram& diagram, const TLumQBGridData* grid,
                   const TLumQBQuoteName& quote = {});
