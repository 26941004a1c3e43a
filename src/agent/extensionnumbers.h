#pragma once

#include <QByteArrayView>
#include <functional>

class EventLog;
class PacketSender;
class TData;
struct LinkControl;

// Asks the exchange for its extension numbers and takes the answer. The periodic
// polls start only after the first good answer, so onLoaded switches them on.
class ExtensionNumbers
{
public:
    ExtensionNumbers(EventLog& log, LinkControl& link, PacketSender& sender, TData& data,
                     std::function<void()> onLoaded);

    void LoadExtensionNumbers();
    void OnNumbersReply(QByteArrayView reply);

private:
    EventLog& m_log;
    LinkControl& m_link;
    PacketSender& m_sender;
    TData& m_data;
    std::function<void()> m_onLoaded;
};
