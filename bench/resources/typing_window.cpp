// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The application the simulated user works in: one top-level text editor whose pixels change with every
// key typed into it, so consecutive captures of it differ the way a real editor's do. It prints
// "WINDOW <id>" once it is shown, then runs until it is killed or closed.
//
//   --title TEXT     window title (default "Bench notes")
//   --size WxH       window size (default 1280x800)

#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QString title = QStringLiteral("Bench notes");
    int width = 1280, height = 800;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--title")) {
            title = args[++i];
        } else if (args[i] == QLatin1String("--size")) {
            const QStringList parts = args[++i].split(QLatin1Char('x'));
            if (parts.size() == 2) {
                width = parts[0].toInt();
                height = parts[1].toInt();
            }
        }
    }

    QPlainTextEdit editor;
    editor.setWindowTitle(title);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(13);
    editor.setFont(font);
    editor.setPlainText(QStringLiteral("Meeting notes\n\n"));
    editor.moveCursor(QTextCursor::End);
    editor.resize(width, height);
    editor.move(40, 40);
    editor.show();

    // Announce the window only once the event loop has mapped it.
    QTimer::singleShot(0, &editor, [&editor] {
        std::printf("WINDOW %llu\n", static_cast<unsigned long long>(editor.winId()));
        std::fflush(stdout);
    });
    return QApplication::exec();
}
