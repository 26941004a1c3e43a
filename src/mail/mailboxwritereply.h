#pragma once

#include <QByteArrayView>

class EventLog;

// The exchange's answer to the write of the mailbox counters. A refusal is always
// logged; nothing is retried, and the counters stay as they are.
void OnMailboxWriteReply(EventLog& log, QByteArrayView payload);
