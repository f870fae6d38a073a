// GLib's headers use "signals" as a name, which Qt defines as a macro.
#undef signals
#include <gio/gio.h>
#include <libsecret/secret.h>

#include "linux/SecretKeyStore.h"

#include <cstring>

namespace murmelo::linuxdesktop {
namespace {

// Matched by attributes alone, so that an item stored under an older schema name still counts.
const SecretSchema* schema() {
    static const SecretSchema s = [] {
        SecretSchema made{};
        made.name = "com.local.murmelo.KeyStore";
        made.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        made.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        made.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return made;
    }();
    return &s;
}

GHashTable* attributes(const QByteArray& service, const QByteArray& account) {
    GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(table, const_cast<char*>("service"), const_cast<char*>(service.constData()));
    g_hash_table_insert(table, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    return table;
}

// libsecret's and D-Bus's errors as the store's status codes; the error is freed.
int statusOf(GError* error) {
    if (!error) return KeyStore::OK;
    int status = error->code > 0 ? error->code : KeyStore::FAILED;
    if (error->domain == SECRET_ERROR) {
        if (error->code == SECRET_ERROR_IS_LOCKED) status = KeyStore::LOCKED;
        else if (error->code == SECRET_ERROR_NO_SUCH_OBJECT) status = KeyStore::NOT_FOUND;
    } else if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED) {
        status = KeyStore::DISMISSED;
    } else if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_EXEC_FAILED) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_SERVER) ||
               g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND) ||
               g_error_matches(error, G_IO_ERROR, G_IO_ERROR_DBUS_ERROR)) {
        status = KeyStore::NO_SERVICE;
    }
    g_error_free(error);
    return status;
}

}  // namespace

KeyStore::ReadResult SecretKeyStore::read(const QString& service, const QString& account) {
    const QByteArray s = service.toUtf8(), a = account.toUtf8();
    GHashTable* attrs = attributes(s, a);
    GError* error = nullptr;
    gchar* secret = secret_password_lookupv_sync(schema(), attrs, nullptr, &error);
    g_hash_table_unref(attrs);
    if (error) return {statusOf(error), {}};
    if (!secret) return {NOT_FOUND, {}};
    QByteArray data(secret, qsizetype(std::strlen(secret)));
    secret_password_free(secret);
    return {OK, data};
}

int SecretKeyStore::write(const QString& service, const QString& account, const QString& label,
                          const QByteArray& secret) {
    const QByteArray s = service.toUtf8(), a = account.toUtf8(), l = label.toUtf8();
    GHashTable* attrs = attributes(s, a);
    GError* error = nullptr;
    // Storing under the same attributes replaces the secret of the existing item in place.
    const gboolean stored = secret_password_storev_sync(schema(), attrs, SECRET_COLLECTION_DEFAULT, l.constData(),
                                                        secret.constData(), nullptr, &error);
    g_hash_table_unref(attrs);
    if (error) return statusOf(error);
    return stored ? OK : FAILED;
}

int SecretKeyStore::remove(const QString& service, const QString& account) {
    const QByteArray s = service.toUtf8(), a = account.toUtf8();
    GHashTable* attrs = attributes(s, a);
    GError* error = nullptr;
    const gboolean removed = secret_password_clearv_sync(schema(), attrs, nullptr, &error);
    g_hash_table_unref(attrs);
    if (error) return statusOf(error);
    return removed ? OK : NOT_FOUND;
}

}  // namespace murmelo::linuxdesktop
