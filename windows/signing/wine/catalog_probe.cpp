// Asks the platform's trust services (wintrust and crypt32, as Wine provides
// them) about a signed package. Takes any number of COMMAND FILE pairs, runs
// them in order, and ends each one's output with "status N", N 0 when the
// call succeeded.
//
//   catalog_probe trust CERT.cer   adds the certificate to the machine's Root
//                                  and TrustedPublisher stores
//   catalog_probe members CAT      one line per member: tag, digest algorithm,
//                                  digest and subject type
//   catalog_probe verify FILE      WinVerifyTrust's answer for FILE (hex)
//   catalog_probe digest FILE      the digest in FILE's own verified signature
//   catalog_probe chain FILE       the base chain policy's answer for the
//                                  certificate that signed FILE (hex)
//   catalog_probe hash FILE        CryptCATAdminCalcHashFromFileHandle's hash
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

void PrintHex(const BYTE* pb, DWORD cb) {
  for (DWORD i = 0; i < cb; ++i) std::printf("%02x", pb[i]);
}

int Trust(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  std::vector<BYTE> der(GetFileSize(file, nullptr));
  DWORD read = 0;
  BOOL ok = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok || read != der.size()) return 2;
  for (const wchar_t* name : {L"Root", L"TrustedPublisher"}) {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE, name);
    if (!store) return 3;
    ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    if (!ok) return 4;
  }
  std::printf("trusted\n");
  return 0;
}

int Members(const wchar_t* path) {
  HANDLE catalog = CryptCATOpen(const_cast<wchar_t*>(path), 0, 0, 0, 0);
  if (catalog == INVALID_HANDLE_VALUE || !catalog) return 2;
  int count = 0;
  for (CRYPTCATMEMBER* member = CryptCATEnumerateMember(catalog, nullptr); member;
       member = CryptCATEnumerateMember(catalog, member)) {
    const SIP_INDIRECT_DATA* data = member->pIndirectData;
    if (!data) return 3;
    wchar_t guid[64];
    StringFromGUID2(member->gSubjectType, guid, 64);
    std::printf("member %ls %s ", member->pwszReferenceTag, data->DigestAlgorithm.pszObjId);
    PrintHex(data->Digest.pbData, data->Digest.cbData);
    std::printf(" %ls\n", guid);
    ++count;
  }
  CryptCATClose(catalog);
  return count ? 0 : 4;
}

// Verifies FILE's signature with the Authenticode policy; with keep, the
// state stays open for the caller, who closes it.
LONG Verify(const wchar_t* path, WINTRUST_DATA* data, WINTRUST_FILE_INFO* info, bool keep) {
  *info = {};
  info->cbStruct = sizeof(*info);
  info->pcwszFilePath = path;
  *data = {};
  data->cbStruct = sizeof(*data);
  data->dwUIChoice = WTD_UI_NONE;
  data->fdwRevocationChecks = WTD_REVOKE_NONE;
  data->dwUnionChoice = WTD_CHOICE_FILE;
  data->pFile = info;
  data->dwStateAction = keep ? WTD_STATEACTION_VERIFY : WTD_STATEACTION_IGNORE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, data);
}

void CloseState(WINTRUST_DATA* data) {
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  data->dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, data);
}

int VerifyFile(const wchar_t* path) {
  WINTRUST_DATA data;
  WINTRUST_FILE_INFO info;
  LONG result = Verify(path, &data, &info, false);
  std::printf("verify %08lx\n", static_cast<unsigned long>(result));
  return result == 0 ? 0 : 1;
}

int Digest(const wchar_t* path) {
  WINTRUST_DATA data;
  WINTRUST_FILE_INFO info;
  LONG result = Verify(path, &data, &info, true);
  int status = 1;
  if (result == 0) {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
    const SIP_INDIRECT_DATA* indirect =
        provider && provider->pPDSip ? provider->pPDSip->psIndirectData : nullptr;
    if (indirect) {
      std::printf("digest %s ", indirect->DigestAlgorithm.pszObjId);
      PrintHex(indirect->Digest.pbData, indirect->Digest.cbData);
      std::printf("\n");
      status = 0;
    }
  } else {
    std::printf("verify %08lx\n", static_cast<unsigned long>(result));
  }
  CloseState(&data);
  return status;
}

// Whether the signer's chain ends in a trusted root, which the Authenticode
// policy of Wine 8.0 does not ask.
int Chain(const wchar_t* path) {
  WINTRUST_DATA data;
  WINTRUST_FILE_INFO info;
  Verify(path, &data, &info, true);
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
  int status = 1;
  if (provider && provider->csSigners && provider->pasSigners[0].pChainContext) {
    CERT_CHAIN_POLICY_PARA para = {};
    para.cbSize = sizeof(para);
    CERT_CHAIN_POLICY_STATUS policy = {};
    policy.cbSize = sizeof(policy);
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE,
                                         provider->pasSigners[0].pChainContext, &para, &policy)) {
      std::printf("chain %08lx\n", static_cast<unsigned long>(policy.dwError));
      status = 0;
    }
  }
  CloseState(&data);
  return status;
}

int Hash(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  BYTE hash[64];
  DWORD cb = sizeof(hash);
  BOOL ok = CryptCATAdminCalcHashFromFileHandle(file, &cb, hash, 0);
  CloseHandle(file);
  if (!ok) return 3;
  std::printf("hash ");
  PrintHex(hash, cb);
  std::printf("\n");
  return 0;
}

int Run(const wchar_t* command, const wchar_t* path) {
  if (std::wcscmp(command, L"trust") == 0) return Trust(path);
  if (std::wcscmp(command, L"members") == 0) return Members(path);
  if (std::wcscmp(command, L"verify") == 0) return VerifyFile(path);
  if (std::wcscmp(command, L"digest") == 0) return Digest(path);
  if (std::wcscmp(command, L"hash") == 0) return Hash(path);
  if (std::wcscmp(command, L"chain") == 0) return Chain(path);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc % 2 == 0) return 2;
  for (int i = 1; i + 1 < argc; i += 2) std::printf("status %d\n", Run(argv[i], argv[i + 1]));
  return 0;
}
