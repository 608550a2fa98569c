// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
const QString kFileName = QStringLiteral("qtbase_ja.qm");
}

QString find_qt_translation(const QString &program_folder)
{
    const QString folders[] = {QDir(program_folder).filePath(QStringLiteral("translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString &folder : folders) {
        const QFileInfo file(QDir(folder).filePath(kFileName));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

bool install_qt_translation(const QString &program_folder)
{
    QCoreApplication *application = QCoreApplication::instance();
    const QString path = find_qt_translation(program_folder);
    if (!application || path.isEmpty())
        return false;
    auto *translator = new QTranslator(application);
    if (!translator->load(path) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}
