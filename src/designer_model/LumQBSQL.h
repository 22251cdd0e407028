#pragma once

#include <QString>
#include <QStringList>

class TLumQBDiagram;
class TLumQBGridData;

// A name as written in the statement: bracketed when it holds a blank or a bracket, a
// "]" inside doubled; other names unchanged.
QString QuoteTableName(const QString& name);
QString QuoteFieldName(const QString& name);

// The SELECT statement of a diagram, one clause per line: columns in the order of the
// tables and their fields, inner links and criteria in WHERE, outer links as join lines,
// then GROUP BY, ORDER BY and the closing clause. grid may be null (every ticked field is
// then a plain shown column). Changes nothing; raises ELumQBException
// "Can't find row for column \"%s\" in table \"%s\"" when a ticked field has no grid row.
QStringList GetSQL(const TLumQBDiagram& diagram, const TLumQBGridData* grid);
