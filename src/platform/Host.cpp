#include "platform/Host.h"

namespace qm {

Answer UnattendedAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::YesNoCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}

const char* AnswerName(Answer answer) {
    switch (answer) {
    case Answer::Yes:
        return "Yes";
    case Answer::No:
        return "No";
    case Answer::Cancel:
        return "Cancel";
    case Answer::Ok:
        break;
    }
    return "OK";
}

} // namespace qm
