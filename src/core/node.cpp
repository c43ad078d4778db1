#include "core/node.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

QString Mark::Letter() const
{
    switch (answer) {
    case Answer::Normal:
        return ieee ? u"o"_s : u"O"_s;
    case Answer::Illegal:
        return ieee ? u"x"_s : u"X"_s;
    case Answer::None:
        break;
    }
    return QString();
}

QString Mark::Text() const
{
    // A switched-off test that got an answer all the same shows both.
    if (off)
        return u"-"_s + Letter();
    return carried ? u"+"_s + Letter() : Letter();
}

std::optional<Mark> Mark::FromText(QStringView text)
{
    text = text.trimmed();
    Mark mark;
    if (text.startsWith(u'-')) {
        mark.off = true;
        text = text.sliced(1);
    } else if (text.startsWith(u'+')) {
        mark.carried = true;
        text = text.sliced(1);
    }
    if (text.size() > 1)
        return std::nullopt;
    if (text.isEmpty())
        return mark;
    const char16_t letter = text.front().unicode();
    mark.ieee = letter == u'o' || letter == u'x';
    if (letter == u'O' || letter == u'o')
        mark.answer = Answer::Normal;
    else if (letter == u'X' || letter == u'x')
        mark.answer = Answer::Illegal;
    else
        return std::nullopt;
    return mark;
}

Answer AnswerOfTest(int column)
{
    const TestAddress *test = TestOfColumn(column);
    if (!test)
        return Answer::None;
    return test->correct ? Answer::Normal : Answer::Illegal;
}

int Node::FirstIllegalColumn() const
{
    for (int column = BroadcastColumn + 1; column <= LastResultColumn; ++column) {
        if (MarkOf(column).answer == Answer::Illegal)
            return column;
    }
    return 0;
}

int Node::FirstSilentIllegalColumn() const
{
    for (int column = BroadcastColumn + 1; column <= LastResultColumn; ++column) {
        const Mark &mark = MarkOf(column);
        if (mark.Waiting() && !mark.off && AnswerOfTest(column) == Answer::Illegal)
            return column;
    }
    return 0;
}

QString VerdictWord(ConfirmationVerdict verdict)
{
    switch (verdict) {
    case ConfirmationVerdict::Confirmed:
        return u"confirmed"_s;
    case ConfirmationVerdict::FilterMatch:
        return u"filter match"_s;
    case ConfirmationVerdict::None:
        break;
    }
    return u"none"_s;
}

std::optional<ConfirmationVerdict> VerdictOfWord(QStringView word)
{
    for (const ConfirmationVerdict verdict :
         {ConfirmationVerdict::None, ConfirmationVerdict::Confirmed,
          ConfirmationVerdict::FilterMatch}) {
        if (word.trimmed() == VerdictWord(verdict))
            return verdict;
    }
    return std::nullopt;
}

} // namespace keelwatch
