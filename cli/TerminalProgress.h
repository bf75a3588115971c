#pragma once

class QTextStream;

// A progress bar on the terminal: redrawn in place on a terminal, one line
// per tenth otherwise (logs, pipes), so a factory log still shows how far
// a transfer got.
class TerminalProgress
{
public:
    TerminalProgress(QTextStream& stream, bool interactive);
    void setRange(int low, int high);
    void setValue(int value);
    // Ends the bar's line if one was drawn.
    void finish();

private:
    QTextStream& stream_;
    bool interactive_;
    int low_ = 0;
    int high_ = 100;
    int shown_ = -1; // percent last drawn
    bool drawn_ = false;
};

// True when stderr is a terminal.
bool stderr_is_terminal();
