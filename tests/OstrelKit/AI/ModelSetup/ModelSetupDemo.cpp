// model_setup_demo: the setup view in a window, against a model server at a given address (default the
// local server's http://127.0.0.1:11434; pair it with fake_model_server to try every state).
//
//   model_setup_demo [base URL]
#include "OllamaClient.h"
#include "OllamaSetupView.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString baseUrl = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("http://127.0.0.1:11434");
    ostrel::OllamaClient client(QStringLiteral("model-setup-demo"), baseUrl);
    ostrel::OllamaSetupView view(&client);
    view.setWindowTitle(QStringLiteral("Local AI Setup"));
    view.resize(460, 320);
    view.show();
    return app.exec();
}
