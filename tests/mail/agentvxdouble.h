#pragma once

#include "mail/agentvxabi.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <dlfcn.h>

// The test's own handle on the mail library double: the same loaded instance the
// wrapper uses (the system loads one file once), reached through its control functions.
// Opened with dlopen, not QLibrary: QLibrary instances of one file share one load, so the
// wrapper's unloading would pull the library from under the test.
class AgentvxDouble
{
public:
    explicit AgentvxDouble(const QString& path = QStringLiteral(AGENTVX_DOUBLE_PATH))
        : m_path(path), m_handle(dlopen(QFile::encodeName(path).constData(), RTLD_NOW))
    {
        if (!m_handle)
            return;
        m_reset = reinterpret_cast<void (*)()>(dlsym(m_handle, "avxd_reset"));
        m_calls = reinterpret_cast<const char* (*)()>(dlsym(m_handle, "avxd_calls"));
        m_setInit = reinterpret_cast<void (*)(int32_t)>(dlsym(m_handle, "avxd_set_init_result"));
        m_setSend = reinterpret_cast<void (*)(int32_t)>(dlsym(m_handle, "avxd_set_send_result"));
        m_setQuick = reinterpret_cast<void (*)(int32_t)>(dlsym(m_handle, "avxd_set_quick_result"));
        m_setRead =
            reinterpret_cast<void (*)(int32_t, MailboxRecord*)>(dlsym(m_handle, "avxd_set_read"));
        if (m_reset)
            m_reset();
    }
    ~AgentvxDouble()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    AgentvxDouble(const AgentvxDouble&) = delete;
    AgentvxDouble& operator=(const AgentvxDouble&) = delete;

    bool isValid() const
    {
        return m_reset && m_calls && m_setInit && m_setSend && m_setQuick && m_setRead;
    }
    QString path() const { return m_path; }

    void reset() { m_reset(); }
    // Every call since the last reset, one line each, e.g. "SetDebugLevel(255)".
    QList<QByteArray> calls() const
    {
        QList<QByteArray> lines = QByteArray(m_calls()).split('\n');
        lines.removeLast(); // after the final line feed
        return lines;
    }
    void setInitResult(int32_t r) { m_setInit(r); }
    void setSendResult(int32_t r) { m_setSend(r); }
    void setQuickResult(int32_t r) { m_setQuick(r); }
    void setRead(int32_t r, const void* head)
    {
        m_setRead(r, static_cast<MailboxRecord*>(const_cast<void*>(head)));
    }

private:
    QString m_path;
    void* m_handle = nullptr;
    void (*m_reset)() = nullptr;
    const char* (*m_calls)() = nullptr;
    void (*m_setInit)(int32_t) = nullptr;
    void (*m_setSend)(int32_t) = nullptr;
    void (*m_setQuick)(int32_t) = nullptr;
    void (*m_setRead)(int32_t, MailboxRecord*) = nullptr;
};
