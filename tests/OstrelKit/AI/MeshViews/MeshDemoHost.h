#pragma once

#include "QuorvantileIndicator.h"
#include "QuorvantilePrefsView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QVBoxLayout>

// A host application's window as the kit expects one: its own content with the mesh badge in the top trailing
// corner, and a preferences window holding the mesh pane. The kit never creates either view itself.
class MeshDemoHost : public QMainWindow
{
public:
    MeshDemoHost()
    {
        setWindowTitle(QStringLiteral("Mesh demo host"));
        auto* content = new QWidget;
        content->setObjectName(QStringLiteral("content"));
        content->setAutoFillBackground(true);
        QPalette palette = content->palette();
        palette.setColor(QPalette::Window, QColor(38, 40, 46));
        content->setPalette(palette);
        auto* column = new QVBoxLayout(content);
        auto* top = new QHBoxLayout;
        auto* title = new QLabel(QStringLiteral("Host content"));
        title->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.5);"));
        top->addWidget(title, 0, Qt::AlignTop);
        top->addStretch();
        indicator = new ostrel::QuorvantileIndicator(QColor(255, 196, 84));
        top->addWidget(indicator, 0, Qt::AlignTop);
        column->addLayout(top);
        column->addStretch();
        setCentralWidget(content);
        resize(560, 300);

        preferences.setWindowTitle(QStringLiteral("Preferences"));
        auto* prefsLayout = new QVBoxLayout(&preferences);
        pane = new ostrel::QuorvantilePrefsView;
        prefsLayout->addWidget(pane);
        preferences.resize(380, 480);
    }

    ostrel::QuorvantileIndicator* indicator = nullptr;
    ostrel::QuorvantilePrefsView* pane = nullptr;
    QWidget preferences;
};
