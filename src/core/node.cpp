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

} // namespace keelwatch
