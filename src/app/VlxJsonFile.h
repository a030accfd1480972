// The small JSON files the program keeps beside its options file: {"format": N, "<member>": {...}}.
#pragma once

#include <QJsonObject>
#include <QString>

// The member of such a file; empty when the file is missing, larger than any this program writes,
// unreadable, or of another format.
QJsonObject ReadJsonMember(const QString& fileName, int format, const QString& member);

// Writes the file whole under a temporary name; throws Exception "Cannot write the <what> "<file>": ..."
void WriteJsonMember(const QString& fileName, int format, const QString& member, const QJsonObject& value,
                     const QString& what);
