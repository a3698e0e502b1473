import sys, os
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_signed_updates as t
work = t.scratch_dir("signed_web_only")
keys = {n: t.keygen(work, "key%d" % n) for n in (1, 3)}
with t.WineSession() as session:
    t.web_installers(session, work, keys)
print("web only: ok")
