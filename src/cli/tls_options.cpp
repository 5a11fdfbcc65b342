#include "cli/cli_kit.h"
#include "cli/tls_options.h"

#include <fstream>
#include <iostream>

#include "download/download_env.h"

namespace plover::cli {

void AddTlsOptions(CLI::App* cmd, STlsCliOptions& options) {
    cmd->add_option("--ca-certificate", options.caFile, "Also trust the certificate authorities in FILE (PEM) for https")
        ->type_name("FILE");
    cmd->add_flag("--insecure", options.insecure, "Do not verify the certificates of https servers (warned on every run)");
}

bool ApplyTlsOptions(const STlsCliOptions& options) {
    if (!options.caFile.empty() && !std::ifstream(options.caFile).good()) {
        Complain() << "cannot read the CA certificate file " << options.caFile << "\n";
        return false;
    }
    SetRunTlsOptions(STlsOptions{options.insecure, options.caFile});
    return true;
}

void WarnWhenUnverified() {
    if (CurrentTlsOptions().insecure) std::cerr << kInsecureWarning << "\n";
}

}  // namespace plover::cli
