#include "link/answerchannel.h"

#include <utility>

void AnswerChannel::startReading()
{
    collectedAnswers.clear();
    collecting = true;
}

QString AnswerChannel::endReading()
{
    collecting = false;
    return std::exchange(collectedAnswers, QString());
}

void AnswerChannel::clearTexts()
{
    captureText.clear();
    markedAnswer.clear();
    collectedAnswers.clear();
}
