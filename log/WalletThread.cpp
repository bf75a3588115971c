#include "log/WalletThread.h"

namespace {

struct Tag
{
    QString label;
    int index = -1;
};

thread_local Tag g_tag;

} // namespace

WalletThread::WalletThread(const QString& label, int index)
{
    g_tag = {label, index};
}

WalletThread::~WalletThread()
{
    g_tag = Tag();
}

QString WalletThread::label()
{
    return g_tag.label;
}

int WalletThread::index()
{
    return g_tag.index;
}
