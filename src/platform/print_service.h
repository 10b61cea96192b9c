#pragma once

#include <string>
#include <vector>

#include "platform/print_pdf.h"

// The desktop's printers are the queues of the printing service (CUPS): the
// scheduler named by the environment (CUPS_SERVER, the user's client.conf)
// or the local one. Queue names are CP850 here, as every text of kdx2.
namespace kdx2::platform {

struct PrinterQueues {
    std::vector<std::string> names;  // in the scheduler's order, each once
    std::string defaultName;         // empty when there is no default
    bool reached = true;             // false: the scheduler did not answer
};

PrinterQueues printerQueues();

// The default queue alone (empty without one), asked without looking for
// printers on the network, so it is quick enough for every start-up.
std::string defaultPrinterQueue();

// True when the scheduler knows a queue of that exact name.
bool printerQueueExists(const std::string& name);

struct PrintSubmission {
    int job = 0;           // the job number; 0 when the job was refused
    bool rendered = true;  // false: the PDF could not be written (error says why)
    std::string error;     // why there is no job (CP850)
};

// Sends a PDF file (host path, UTF-8) to the queue as one job titled `title`
// (CP850). The file is copied to the scheduler before this returns, so the
// caller may remove it afterwards.
PrintSubmission submitPdf(const std::string& queue, const std::string& pdfHostPath,
                          const std::string& title);

// The pages written as a PDF into a temporary file and sent to the queue
// (submitPdf); the file is removed afterwards.
PrintSubmission printPages(const std::vector<PdfPage>& pages, const std::string& queue,
                           const std::string& title);

}  // namespace kdx2::platform
