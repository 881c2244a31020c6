#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Writes plain language files for the window's tests: `texts(column, row)`
// gives each cell; lines 3 to 5 name the pictures.
struct LanguageFileWriter
{
    int languages = 2;
    int highestRow = 80;
    QByteArray pictures[3];
    std::function<QByteArray(int column, int row)> texts = [](int column, int row) {
        return QByteArray("L") + QByteArray::number(column) + "R" + QByteArray::number(row);
    };

    QByteArray content() const
    {
        QList<QByteArray> lines{"FALSE",     QByteArray::number(languages),
                                pictures[0], pictures[1],
                                pictures[2], QByteArray::number(highestRow)};
        for (int i = 0; i < 10; ++i)
            lines << "ignored";
        for (int column = 1; column <= languages; ++column)
            for (int row = 0; row <= highestRow; ++row)
                lines << texts(column, row);
        QByteArray data;
        for (const QByteArray &line : lines)
            data += line + "\r\n";
        return data;
    }
};
