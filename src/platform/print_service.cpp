#include "platform/print_service.h"

#include <cups/cups.h>

#include <fstream>

#include "base/cp850.h"
#include "base/error.h"
#include "platform/process.h"

namespace kdx2::platform {

using namespace base::literals;

namespace {

std::string lastError() {
    const char* text = cupsLastErrorString();
    return base::cp850::fromUtf8(text != nullptr ? text : "");
}

bool answered() {
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

}  // namespace

PrinterQueues printerQueues() {
    PrinterQueues queues;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    if (count == 0) queues.reached = answered();
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& dest = dests[i];
        // Instances are option sets of a queue, not printers of their own.
        if (dest.instance != nullptr) continue;
        const std::string name = base::cp850::fromUtf8(dest.name);
        queues.names.push_back(name);
        if (dest.is_default) queues.defaultName = name;
    }
    cupsFreeDests(count, dests);
    return queues;
}

std::string defaultPrinterQueue() {
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (dest == nullptr) return "";
    const std::string name = base::cp850::fromUtf8(dest->name);
    cupsFreeDests(1, dest);
    return name;
}

bool printerQueueExists(const std::string& name) {
    // An empty name would ask for the default queue.
    if (name.empty()) return false;
    cups_dest_t* dest =
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, base::cp850::toUtf8(name).c_str(), nullptr);
    if (dest == nullptr) return false;
    cupsFreeDests(1, dest);
    return true;
}

PrintSubmission submitPdf(const std::string& queue, const std::string& pdfHostPath,
                          const std::string& title) {
    PrintSubmission result;
    std::ifstream in(pdfHostPath, std::ios::binary);
    if (!in) {
        result.error = "o arquivo PDF não pôde ser lido."_cp;
        return result;
    }
    const std::string name = base::cp850::toUtf8(queue);
    const std::string jobTitle = base::cp850::toUtf8(title);
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.c_str(), jobTitle.c_str(), 0, nullptr);
    if (job == 0) {
        result.error = lastError();
        return result;
    }
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.c_str(), job, jobTitle.c_str(), CUPS_FORMAT_PDF,
                          1) != HTTP_STATUS_CONTINUE) {
        result.error = lastError();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.c_str(), job, 0);
        return result;
    }
    char buffer[65536];
    bool written = true;
    while (written && in) {
        in.read(buffer, sizeof buffer);
        const std::streamsize length = in.gcount();
        if (length > 0)
            written = cupsWriteRequestData(CUPS_HTTP_DEFAULT, buffer,
                                           static_cast<size_t>(length)) == HTTP_STATUS_CONTINUE;
    }
    const ipp_status_t status = cupsFinishDocument(CUPS_HTTP_DEFAULT, name.c_str());
    if (!written || status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        result.error = lastError();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.c_str(), job, 0);
        return result;
    }
    result.job = job;
    return result;
}

PrintSubmission printPages(const std::vector<PdfPage>& pages, const std::string& queue,
                           const std::string& title) {
    try {
        const TemporaryHostFile pdf("kdx2-", ".pdf");
        writeMonospacedPdf(pages, pdf.hostPath(), title);
        return submitPdf(queue, pdf.hostPath(), title);
    } catch (const base::Error& error) {
        PrintSubmission failed;
        failed.rendered = false;
        failed.error = error.what();
        return failed;
    }
}

}  // namespace kdx2::platform
