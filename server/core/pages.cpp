#include "pages.h"

#include "addresses.h"

#include <ctime>

namespace quillon::server {

namespace {

std::string Page(std::string_view title, const std::string& body)
{
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>" +
           HtmlEscape(title) +
           "</title><style>"
           "body{font-family:sans-serif;margin:1em;max-width:40em}"
           "img{max-width:100%;height:auto;border:1px solid #ccc}"
           "li{margin:0 0 1em 0;list-style:none}ul{padding:0}"
           "label{display:block;margin:.5em 0}input{font-size:1em}"
           ".error{color:#a00}"
           "</style></head><body>\n<h1>" +
           HtmlEscape(title) + "</h1>\n" + body + "\n</body></html>\n";
}

std::string Link(std::string_view href, std::string_view text)
{
    return "<a href=\"" + HtmlEscape(href) + "\">" + HtmlEscape(text) + "</a>";
}

std::string SiteLinks()
{
    return "<p>" + Link(kSitePath, "Quillon") + " | " + Link(kRegisterPath, "Register") + " | " +
           Link(kFaqPath, "FAQ") + " | " + Link(kDownloadPath, "Download") + " | " +
           Link(kGuestPath, "Guest gallery") + "</p>";
}

std::string UtcTime(std::int64_t seconds)
{
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm);
    return buf;
}

} // namespace

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string HomePage()
{
    return Page("Quillon",
                "<p>Quillon turns your pictures into wallpapers and logos sized for your phone's screen "
                "and delivers them here, so your phone's browser can fetch them.</p>"
                "<p>Create an account on the " +
                    Link(kRegisterPath, "registration page") +
                    ", or upload as <b>guest</b> and find your pictures in the " + Link(kGuestPath, "guest gallery") +
                    ".</p>" + SiteLinks());
}

std::string FaqPage()
{
    return Page("Frequently asked questions",
                "<h2>How does my phone get the picture?</h2>"
                "<p>After an upload Quillon shows the picture's URL and a QR code of it. Open the URL in your "
                "phone's browser, or point the phone's camera at the code.</p>"
                "<h2>Where do I see all my pictures?</h2>"
                "<p>Add the address that Quillon shows after an upload to your phone's bookmarks: it lists your "
                "pictures, newest first.</p>"
                "<h2>Why did an old picture disappear?</h2>"
                "<p>Each account keeps its most recent uploads; older ones are withdrawn and Quillon forgets "
                "their URLs.</p>"
                "<h2>Do I need an account?</h2>"
                "<p>No: the login <b>guest</b> with any password uploads to the shared guest gallery, which anyone "
                "can see. With an account of your own only those who know your picture's URL see it.</p>" +
                    SiteLinks());
}

std::string DownloadPage()
{
    return Page("Download Quillon",
                "<p>Quillon is built from its source on Debian: run <code>bash scripts/run.sh</code> in the top "
                "folder of its repository, which installs what is missing, builds the program and starts it.</p>" +
                    SiteLinks());
}

std::string RegisterPage(std::string_view error, std::string_view login, std::string_view email)
{
    std::string body;
    if (!error.empty())
        body += "<p class=\"error\" id=\"error\">" + HtmlEscape(error) + "</p>";
    body += "<form method=\"post\" action=\"" + std::string(kRegisterPath) +
            "\">"
            "<label>Login <input name=\"login\" id=\"login\" maxlength=\"32\" required value=\"" +
            HtmlEscape(login) +
            "\"></label>"
            "<label>Password <input type=\"password\" name=\"password\" id=\"password\" minlength=\"8\" maxlength=\"64\" "
            "required></label>"
            "<label>Password again <input type=\"password\" name=\"password2\" id=\"password2\" minlength=\"8\" maxlength=\"64\" "
            "required></label>"
            "<label>E-mail <input type=\"email\" name=\"email\" id=\"email\" maxlength=\"254\" required value=\"" +
            HtmlEscape(email) +
            "\"></label>"
            "<p>A login is up to 32 letters, digits, dots, dashes and underscores. A password is 8 to 64 "
            "characters: letters, digits, spaces and punctuation.</p>"
            "<input type=\"submit\" id=\"submit\" value=\"Create account\"></form>" +
            SiteLinks();
    return Page("Create a Quillon account", body);
}

// Worded the same whether the login was free or taken, so the page does not tell which
// logins exist; the mail to the address does.
std::string RegisteredPage(std::string_view login, std::string_view email)
{
    return Page("Check your mail",
                "<p id=\"created\">A mail has been sent to " + HtmlEscape(email) + ". If the login <b>" +
                    HtmlEscape(login) +
                    "</b> was free, the mail holds the link that confirms your new account: follow it before your "
                    "first upload. If the login was taken, the mail says so.</p>" +
                    SiteLinks());
}

std::string ConfirmedPage(std::string_view login)
{
    return Page("Account confirmed", "<p id=\"confirmed\">The account <b>" + HtmlEscape(login) +
                                         "</b> is confirmed. Enter its login and password in Quillon's options "
                                         "and upload your first logo.</p>" +
                                         SiteLinks());
}

std::string WapLoginPage()
{
    return Page("My pictures", "<form method=\"get\" action=\"" + std::string(kWapPath) +
                                   "\"><label>Login <input name=\"login\"></label>"
                                   "<label>Password <input type=\"password\" name=\"password\"></label>"
                                   "<input type=\"submit\" value=\"Show\"></form>");
}

std::string PictureListPage(std::string_view title, const std::vector<TPicture>& pictures, std::string_view pathPrefix)
{
    std::string body;
    if (pictures.empty()) {
        body = "<p id=\"empty\">No pictures yet.</p>";
    } else {
        body = "<ul id=\"pictures\">";
        for (const TPicture& p : pictures) {
            std::string href = std::string(pathPrefix) + "?id=" + p.id;
            body += "<li><a href=\"" + HtmlEscape(href) + "\"><img src=\"" + HtmlEscape(href) + "\" alt=\"Picture " +
                    HtmlEscape(p.id) + "\"><br>Picture " + HtmlEscape(p.id) + "</a><br><small>" +
                    UtcTime(p.uploaded) + "</small></li>";
        }
        body += "</ul>";
    }
    return Page(title, body);
}

std::string MessagePage(std::string_view title, std::string_view text)
{
    return Page(title, "<p id=\"message\">" + HtmlEscape(text) + "</p>" + SiteLinks());
}

} // namespace quillon::server
