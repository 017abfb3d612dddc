#pragma once

// What the private cupsd itself says of jobs and subscriptions, asked through libcups: the
// tests compare the monitor's reports with it. Links libcups.

#include "PrivateCups.h"

#include <cups/cups.h>

namespace vellora::test {

struct PrivateCupsJobs
{
    struct Job
    {
        int state = 0; // 0 when cupsd does not know the job
        QString uuid;
        QString user;
        QString printer;
    };

    // What cupsd says of one job, asked as root.
    static Job job(int id)
    {
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(id);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     "root");
        ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        Job found;
        if (response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE) {
            const auto text = [&](const char* name) {
                ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
                return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr))
                                 : QString();
            };
            if (ipp_attribute_t* state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
                found.state = ippGetInteger(state, 0);
            found.uuid = text("job-uuid");
            found.user = text("job-originating-user-name");
            found.printer = text("job-printer-uri").section(u'/', -1);
        }
        ippDelete(response);
        return found;
    }

    // Another program's D-Bus subscription, as `user`, to one event of one printer.
    static int subscribe(const char* user, const QString& printer, const char* event)
    {
        ipp_t* request = ippNewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
        const QByteArray uri = "ipp://localhost/printers/" + printer.toUtf8();
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     uri.constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     user);
        ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_URI, "notify-recipient-uri", nullptr,
                     "dbus://");
        ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", nullptr,
                     event);
        ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        int id = 0;
        if (ipp_attribute_t* attribute =
                ippFindAttribute(response, "notify-subscription-id", IPP_TAG_INTEGER))
            id = ippGetInteger(attribute, 0);
        ippDelete(response);
        return id;
    }
};

} // namespace vellora::test
