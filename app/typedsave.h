// The checks before an image is saved as a ZOLT file of a type the user
// names: the name must be a data type, and a type that cannot hold the
// image's values is used only when the user says so.
#ifndef ZOLTTOOL_TYPEDSAVE_H
#define ZOLTTOOL_TYPEDSAVE_H

#include <QByteArray>
#include <QString>

class Prompt;
class QWidget;
struct ZoltHeader;

// The type name typed (empty: "float") in the local 8-bit encoding; false,
// with the user told which names there are, when it names no data type.
bool saveTypeOf(Prompt &ask, QWidget *parent, const QString &typed, QByteArray *type);
// True when `img` can be written as `type`: every value fits, or the user,
// told how many do not and what they become, chooses to go on. A conversion
// the library refuses (complex on one side only) is explained and false.
bool typeHoldsValues(Prompt &ask, QWidget *parent, const ZoltHeader *img, const QByteArray &type);

#endif
