#include "FileManagerIcon.h"

#include <QFile>

// GIO's D-Bus introspection records have a member named `signals`, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <memory>

namespace ostrel::FileManagerIcon {

namespace {

struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using FileHandle = std::unique_ptr<GFile, ObjectUnref>;

} // namespace

std::optional<QString> setCustomIcon(const QString& path, const QString& iconPath)
{
    if (path.isEmpty() || iconPath.isEmpty()) {
        return QStringLiteral("no file or no icon was given");
    }
    // Relative paths are taken from the working folder; the URI GIO makes of the icon's path is the form the
    // file managers read back.
    const FileHandle file(g_file_new_for_path(QFile::encodeName(path).constData()));
    const FileHandle icon(g_file_new_for_path(QFile::encodeName(iconPath).constData()));
    const std::unique_ptr<char, decltype(&g_free)> uri(g_file_get_uri(icon.get()), &g_free);
    GError* error = nullptr;
    if (g_file_set_attribute_string(file.get(), kAttribute, uri.get(), G_FILE_QUERY_INFO_NONE, nullptr,
                                    &error)) {
        return std::nullopt;
    }
    const QString why = error ? QString::fromUtf8(error->message) : QStringLiteral("no reason given");
    g_clear_error(&error);
    return QStringLiteral("GNOME's Files and the other GVfs file managers will not show the icon of %1 (it "
                          "needs GVfs and its metadata daemon on the session bus): %2")
        .arg(path, why);
}

} // namespace ostrel::FileManagerIcon
