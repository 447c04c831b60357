// Administration from the web page only where it belongs. PAPPL 1.3.1 asks
// papplClientHTMLAuthorize before every page that changes or deletes
// something (a printer's defaults, settings, media, its deletion, cancelling
// jobs, adding printers, the network, security and TLS pages), and lets
// anyone through when there is neither an authentication service nor a
// password; a printer's status page takes its forms (hold new jobs, print
// a test page) without asking at all. These definitions stand in front of
// the library's own (the program's symbols come first for every caller)
// and close both to clients on other machines; the rest is PAPPL's
// authentication.
#include <dlfcn.h>
#include <pappl/pappl.h>
#include <sys/socket.h>

#include <initializer_list>

namespace {

using Authorize = bool (*)(pappl_client_t*);
using GetForm = int (*)(pappl_client_t*, cups_option_t**);

template <typename Function>
Function Library(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool IsLocal(pappl_client_t* client) {
  http_addr_t* address = httpGetAddress(papplClientGetHTTP(client));
  return address != nullptr &&
         (httpAddrFamily(address) == AF_LOCAL || httpAddrLocalhost(address));
}

bool HasAuthentication(pappl_system_t* system) {
  char password[256] = "";
  papplSystemGetPassword(system, password, sizeof password);
  return papplSystemGetAuthService(system) != nullptr || password[0] != '\0';
}

bool Unauthenticated(pappl_client_t* client) {
  return client != nullptr && !IsLocal(client) && !HasAuthentication(papplClientGetSystem(client));
}

bool RefuseRemote(pappl_client_t* client) {
  papplLogClient(client, PAPPL_LOGLEVEL_WARN,
                 "Refused administration from another machine: no authentication is set up.");
  // The answer follows the request's form, which is read and left.
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    cups_option_t* form = nullptr;
    cupsFreeOptions(papplClientGetForm(client, &form), form);
  }
  if (!papplClientRespond(client, HTTP_STATUS_FORBIDDEN, nullptr, "text/html", 0, 0)) return false;
  // The strings files translate each sentence, keyed on its English.
  const char* title = papplClientGetLocString(client, "Administration is local only");
  papplClientHTMLPrintf(client, "<!DOCTYPE html>\n<html><head><title>%s</title></head><body>\n<h1>%s</h1>\n",
                        title, title);
  for (const char* sentence :
       {"This page changes the printer application. No authentication is set up, so it answers only "
        "on the machine the application runs on (http://localhost/). Printing and the printers' "
        "status pages stay open to everyone.",
        "To administer from elsewhere, set a password on the Security page from that machine, or "
        "start the server with -o auth-service=SERVICE to log in with a system account."}) {
    papplClientHTMLPrintf(client, "<p>%s</p>\n", papplClientGetLocString(client, sentence));
  }
  papplClientHTMLPuts(client, "</body></html>\n");
  httpWrite2(papplClientGetHTTP(client), "", 0);
  return false;
}

}  // namespace

extern "C" bool papplClientHTMLAuthorize(pappl_client_t* client) {
  static const auto library_authorize = Library<Authorize>("papplClientHTMLAuthorize");
  if (Unauthenticated(client)) return RefuseRemote(client);
  return library_authorize(client);
}

// A form posted from elsewhere is read and dropped: the page that asked
// for it answers "Invalid form data." and changes nothing.
extern "C" int papplClientGetForm(pappl_client_t* client, cups_option_t** form) {
  static const auto library_get_form = Library<GetForm>("papplClientGetForm");
  const int count = library_get_form(client, form);
  if (papplClientGetMethod(client) != HTTP_STATE_POST || !Unauthenticated(client)) return count;
  papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Dropped a form from another machine: no authentication is set up.");
  cupsFreeOptions(count, *form);
  *form = nullptr;
  return 0;
}
