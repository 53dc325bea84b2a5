#pragma once
// What Vell Writer asks of this window, one request a line on standard input:
//
//   minimize            minimise the window
//   click X Y           a left-button press at (X, Y) in the first control (the path input)
//   paste TEXT          paste TEXT into the first control; "%25" stands for "%", "%0A" for a
//                       line feed and "%0D" for a carriage return, so that one line carries it
//   close               close the window; the program ends
//
// Anything else is not ours to guess at and is ignored.

#include <QByteArray>
#include <QString>

enum class TRequestKind { Unknown, Minimize, Click, Paste, Close };

struct TRequest {
    TRequestKind Kind = TRequestKind::Unknown;
    int X = 0; // click
    int Y = 0;
    QString Text; // paste, decoded
};

// One line, without its line feed.
TRequest ParseRequest(QByteArray line);

// Undoes the paste encoding. A "%" that starts none of the three escapes stays as it is: a
// person typing "paste" by hand is not expected to escape it.
QString DecodePasted(const QByteArray& text);
