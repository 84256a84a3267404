"""The screen grab in a Wayland session: the screen comes from the desktop portal (a fake
one on the session bus that alone has the known pattern), a refusal in the portal ends the
command quietly, and the grabbed file holds exactly the portal's pixels."""

import json
import os
import subprocess
import sys
import unittest

from harness import QuillonTestCase, wait_for
from test_grab import HEIGHT, WIDTH, GrabSteps, pattern, write_ppm


def prepare_portal(s):
    """The X root stays as the server made it; only the portal has the pattern. The portal
    cancels the first request, as a user who says no, and answers the next ones."""
    with open(s.path("options.xml"), "w") as f:
        f.write('<options><grabbedfileformat value="0"/><checknewversion value="no"/></options>')
    picture = os.path.join(s.tmp, "pattern.ppm")
    write_ppm(picture, WIDTH, HEIGHT, pattern)
    png = os.path.join(s.tmp, "portal-screenshot.png")
    subprocess.run(["convert", picture, png], check=True, timeout=60)
    s.portal_log = os.path.join(s.tmp, "portal.log")
    portal = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "fake_portal.py"), png,
                               s.portal_log, "1", "0"], env=s.env, stdout=subprocess.PIPE, start_new_session=True)
    s.procs.append(portal)
    ready = portal.stdout.readline().strip() == b"ready"
    portal.stdout.close()
    if not ready:
        raise RuntimeError("the fake portal did not start")


class PortalGrab(GrabSteps, QuillonTestCase):
    def test_a_wayland_session_takes_the_screen_from_the_portal(self):
        s = self.start(prepare=prepare_portal, env={"XDG_SESSION_TYPE": "wayland"})

        def portal_calls():
            if not os.path.exists(s.portal_log):
                return []
            with open(s.portal_log) as f:
                return [json.loads(line) for line in f]

        # The user says no in the portal: the main window comes back, nothing else happens.
        s.activate(s.main)
        s.click(s.wait_find(s.main, "push button", "Grab from screen"))
        wait_for(lambda: len(portal_calls()) == 1, "the portal's screenshot request")
        self.back_to_main(s)
        self.assertIsNone(s.dialog())

        # The pattern is only in the portal's picture, so a frozen screen showing it, and a
        # file holding it, came from the portal.
        self.drag_and_check(s, "grabbedimage.bmp")
        calls = portal_calls()
        self.assertEqual(len(calls), 2)
        for call in calls:
            self.assertIs(call["options"].get("interactive"), False)
            self.assertTrue(call["options"].get("handle_token"))
        self.assertEqual(s.quit(), 0)



if __name__ == "__main__":
    unittest.main()
