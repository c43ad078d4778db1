#include "config/fieldsplit.h"

namespace keelwatch {

namespace {

bool IsBlankOrControl(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

} // namespace

QStringList SplitFields(QStringView text, QChar delimiter)
{
    // A NUL ends the text, as it would a C string.
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        text = text.left(nul);

    QStringList fields;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && IsBlankOrControl(text[i]))
        ++i;
    while (i < n) {
        QString field;
        if (text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && text[i].unicode() > 32 && text[i] != delimiter)
                ++i;
            field = text.mid(start, i - start).toString();
        }
        fields.append(field);

        while (i < n && IsBlankOrControl(text[i]))
            ++i;
        if (i < n && text[i] == delimiter) {
            ++i;
            if (i == n) {
                fields.append(QString());
                break;
            }
            while (i < n && IsBlankOrControl(text[i]))
                ++i;
        }
    }
    return fields;
}

QString TrimControls(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin).toString();
}

} // namespace keelwatch
