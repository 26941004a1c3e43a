#include "ui/tform1.h"

#include "agent/agent.h"
#include "agent/errorreporter.h"
#include "ui/loglist.h"

#include <QFont>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

TForm1::TForm1(Agent& agent, QWidget* parent) : QMainWindow(parent), m_agent(agent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Sarvik Agent"));
    resize(594, 370);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    ListBox1->setFont(fixed);
    setCentralWidget(ListBox1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    connect(&agent.log(), &EventLog::lineWritten, this,
            [this](const QString& line) { LogList::append(*ListBox1, line); });
    connect(&agent.log(), &EventLog::statusChanged, StatusBar1,
            [this](const QString& text) { StatusBar1->showMessage(text); });

    agent.setWarningSink([](const QString& title, const QString& text) {
        QMessageBox::warning(nullptr, title, text);
    });
    // Errors never block: an unattended agent must not stop in a modal loop. One box
    // at a time: while it is open, further errors go to the log instead of piling up
    // boxes on a machine nobody watches.
    ErrorReporter::setSink([this](const QString& message) {
        if (m_errorBox) {
            m_agent.log().WriteLog(QStringLiteral("!Err"), message);
            return;
        }
        m_errorBox =
            new QMessageBox(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
        m_errorBox->setAttribute(Qt::WA_DeleteOnClose);
        m_errorBox->setModal(false);
        m_errorBox->show();
    });
}

TForm1::~TForm1()
{
    ErrorReporter::setSink({});
}

void TForm1::start()
{
    m_agent.FormCreate();
    show();
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}
