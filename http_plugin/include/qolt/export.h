/* Symbol visibility for qolt_http_plugin.
 *
 * The plugin is built with hidden visibility; only declarations marked
 * QOLT_API are candidates for export, and the version script has the last
 * word on what the client sees. */
#ifndef QOLT_EXPORT_H
#define QOLT_EXPORT_H

#if defined(__GNUC__)
#define QOLT_API __attribute__((visibility("default")))
#else
#define QOLT_API
#endif

#endif /* QOLT_EXPORT_H */
