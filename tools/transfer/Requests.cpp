#include "tools/transfer/Requests.h"

#include <QList>

QString DecodePasted(const QByteArray& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const QByteArray code = text.mid(i + 1, 2).toUpper();
            const char decoded = code == "25" ? '%' : code == "0A" ? '\n' : code == "0D" ? '\r' : 0;
            if (decoded != 0) {
                bytes += decoded;
                i += 2;
                continue;
            }
        }
        bytes += text[i];
    }
    return QString::fromUtf8(bytes);
}

TRequest ParseRequest(QByteArray line) {
    // A line typed on a terminal set to send CR LF still means the same request.
    if (line.endsWith('\r'))
        line.chop(1);
    TRequest request;
    const qsizetype space = line.indexOf(' ');
    const QByteArray word = space < 0 ? line : line.left(space);
    // The pasted text is taken whole, spaces at its ends too: they may belong to the path.
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
    if (word == "paste") {
        request.Kind = TRequestKind::Paste;
        request.Text = DecodePasted(rest);
    } else if (word == "minimize" && rest.trimmed().isEmpty()) {
        request.Kind = TRequestKind::Minimize;
    } else if (word == "close" && rest.trimmed().isEmpty()) {
        request.Kind = TRequestKind::Close;
    } else if (word == "click") {
        const QList<QByteArray> point = rest.simplified().split(' ');
        bool xOk = false;
        bool yOk = false;
        if (point.size() == 2) {
            request.X = point[0].toInt(&xOk);
            request.Y = point[1].toInt(&yOk);
        }
        if (xOk && yOk)
            request.Kind = TRequestKind::Click;
    }
    return request;
}
