#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

class Agent;
class QListWidget;
class QStatusBar;

// The main window: a view over the engine that shows its log and status line.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(Agent& agent, QWidget* parent = nullptr);
    ~TForm1() override;

    // Shows the window centred and runs the engine's start-up.
    void start();

    QListWidget* ListBox1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    // The error box on screen, if any.
    QMessageBox* errorBox() const { return m_errorBox; }

private:
    Agent& m_agent;
    QPointer<QMessageBox> m_errorBox;
};
