#pragma once

#include <QString>
#include <QXmlStreamAttributes>

// Attribute reading of the description file: a number that is absent or
// does not read as one counts as 0, an absent text as the empty text.
namespace xmlattributes {

int integer(const QXmlStreamAttributes &attributes, const QString &name);
uint unsignedInteger(const QXmlStreamAttributes &attributes, const QString &name);
// Infinities and NaN count as 0 too: they have no place in a cell value.
double real(const QXmlStreamAttributes &attributes, const QString &name);
QString text(const QXmlStreamAttributes &attributes, const QString &name);

}  // namespace xmlattributes

enum class ParameterKind { None, List, Range, Check };

// Everything a "Parameter" start tag can say, read once.
struct ParameterAttributes {
    ParameterKind kind = ParameterKind::None;
    QString name;
    int cell = 0;
    int hcell = 0;
    bool hasHighCell = false;  // "hcell" present and not empty
    int depcell = 0;
    int depval = 0;
    double offset = 0.0;
    double scale = 1.0;  // 0 or absent already taken as 1
    double shift = 0.0;
    double min = 0.0;
    double max = 0.0;
    double step = 0.0;
    uint decimals = 0;
    QString suffix;

    static ParameterAttributes read(const QXmlStreamAttributes &attributes);

    // Whether every cell the parameter's kind uses has a slot in the cell image.
    bool cellsHaveSlots() const;
};
