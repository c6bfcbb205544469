// Adds a DER-encoded CA certificate to the machine's "Root" store, so that URL
// downloads inside this wine prefix trust the test servers.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_ca CA.der\n");
        return 2;
    }
    std::vector<unsigned char> der;
    if (std::FILE* in = std::fopen(argv[1], "rb")) {
        unsigned char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            der.insert(der.end(), buffer, buffer + n);
        std::fclose(in);
    }
    if (der.empty()) {
        std::fprintf(stderr, "trust_ca: cannot read %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (store == nullptr) {
        std::fprintf(stderr, "trust_ca: cannot open the Root store (%lu)\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "trust_ca: cannot add the certificate (%lu)\n", error);
        return 1;
    }
    std::printf("trusted %s\n", argv[1]);
    return 0;
}
