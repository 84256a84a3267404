"""A picture handed over from the browser side: an installer registers the program, a
client on the session bus hands over the URL of a picture on a web server, the running
program downloads it in its download dialog and the picture becomes a logo."""

import http.server
import os
import subprocess
import threading
import unittest
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, gradient, wait_for, write_bmp


def hand_off(s, url):
    """What the browser side does: the URL to AddImageURL over the session bus, as the
    README's gdbus example; the method's result."""
    out = subprocess.run(["gdbus", "call", "--session", "--dest", "org.quillon.QuillonPI", "--object-path",
                          "/QuillonPI", "--method", "org.quillon.IQuillonPI.AddImageURL", url],
                         env=s.env, capture_output=True, text=True, timeout=30)
    return out.stdout.strip() or out.stderr


class SlowPictureServer:
    """Serves one picture on 127.0.0.1, holding back its second half until released, so
    the download dialog is on screen long enough to be seen."""

    def __init__(self, picture):
        self.release = threading.Event()
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                outer.requests.append(self.path)
                self.send_response(200)
                self.send_header("Content-Type", "image/bmp")
                self.send_header("Content-Length", str(len(picture)))
                self.end_headers()
                half = len(picture) // 2
                self.wfile.write(picture[:half])
                self.wfile.flush()
                outer.release.wait(20)
                self.wfile.write(picture[half:])

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server.server_address[1]}{path}"

    def close(self):
        self.release.set()
        self.server.shutdown()
        self.server.server_close()


class HandOff(QuillonTestCase):
    def test_a_url_over_the_session_bus_becomes_a_logo(self):
        s = self.start()
        exe = os.path.join(s.app_dir, "quillon")
        # What an installer does: the settings key with the program's folder and the bus's
        # activation file. The switch ends at once, without a window.
        subprocess.run([exe, "/RegServer"], env=s.env, check=True, timeout=30)
        config = os.path.join(s.env["XDG_CONFIG_HOME"], "quillon", "settings.ini")
        with open(config) as f:
            self.assertIn(f"AppPath={s.app_dir}\n", f.read())
        service = os.path.join(s.env["XDG_DATA_HOME"], "dbus-1", "services", "org.quillon.QuillonPI.service")
        with open(service) as f:
            self.assertIn(f"Exec='{exe}' -AUTOMATION", f.read())

        picture = os.path.join(s.tmp, "beach.bmp")
        write_bmp(picture, 200, 150, gradient(200, 150))
        with open(picture, "rb") as f:
            data = f.read()
        server = SlowPictureServer(data)
        self.addCleanup(server.close)

        self.assertEqual(hand_off(s, server.url("/gallery/beach.bmp")), "(uint32 0,)")

        dialog = wait_for(lambda: s.window("Picture Download"), "the download dialog")
        wait_for(lambda: s.find(dialog, None, server.url("/gallery/beach.bmp")), "the URL in the dialog")
        server.release.set()
        wait_for(lambda: "beach.bmp" in s.tree_items(), "the new logo in the tree", timeout=30)
        wait_for(lambda: s.window("Picture Download") is None, "the dialog to close")
        self.assertEqual(server.requests, ["/gallery/beach.bmp"])
        with open(s.path("Logo Directory", "beach.bmp"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertEqual(os.listdir(s.path("Temp")), [])
        with open(config) as f:
            self.assertNotIn("ImageURL", f.read())

        self.assertEqual(s.quit(), 0)
        root = ET.parse(s.path("logodirectory.xml")).getroot()
        self.assertEqual([n.get("nodename") for n in root.findall("logodirnode")], ["beach.bmp"])

        # Uninstalling removes both again.
        subprocess.run([exe, "-unregserver"], env=s.env, check=True, timeout=30)
        self.assertFalse(os.path.exists(service))
        self.assertFalse(os.path.exists(config))


if __name__ == "__main__":
    unittest.main()
