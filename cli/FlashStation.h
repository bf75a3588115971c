#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// What a run over several wallets takes: every wallet attached (`watch`
// false), or those and then each one plugged in until `count` have ended
// (0: until the operator stops it); only those on `ports` when it is not empty.
struct StationPlan
{
    QString file;
    QStringList ports;
    bool watch = false;
    int count = 0;
    bool json = false;
};

// `flash --all` and `flash --watch`: the image read and checked once, then
// each wallet updated on a thread of its own, side by side. Returns the exit
// status of the worst wallet.
int run_flash_station(const StationPlan& plan, QTextStream& out, QTextStream& err);
