"""The Python package over the built or installed libraries."""
import shutil
import subprocess

import pytest

import tavolin2


@pytest.fixture
def tmp(tmp_path):
    return tmp_path


def test_properties_methods_and_types():
    gif = tavolin2.Dispatch("tavolin2.gif")
    gif.BestQuality = True
    assert gif.BestQuality is True
    gif.BestQuality = False
    assert gif.BestQuality is False
    company = tavolin2.Dispatch("TAVOLIN2.clsQELCompany")
    text, which = company.GetQELCompanyInformation(901)
    assert isinstance(text, str) and text and which == 901
    assert company.GetQELCompanyInformation(lResConst=901) == (text, 901)
    with pytest.raises(AttributeError, match="NoSuchMember"):
        company.NoSuchMember


def test_by_reference_results_and_omitted_optionals(tmp):
    dib = tavolin2.Dispatch("TAVOLIN2.cDIBSection")
    ok, handle = dib.CreateDIB(0, 8, 4, 0)
    assert ok is True and handle != 0
    assert dib.Width == 8 and dib.Height == 4
    box = tavolin2.PictureBox(20, 10)
    gif = tavolin2.Dispatch("TAVOLIN2.GIF")
    # hDc, UseTrans and TransColor left out: the defaults, no by-ref values back
    assert gif.SaveGIF(box.Image, str(tmp / "x.gif")) is True
    # passed by reference: the value the member leaves comes back after the result
    assert gif.SaveGIF(box.Image, str(tmp / "y.gif"), 0, True) == (True, 0, True)
    assert gif.SaveGIF(box.Image, str(tmp / "z.gif"), UseTrans=False) == (True, False)


def test_errors_carry_number_description_source():
    company = tavolin2.Dispatch("TAVOLIN2.clsQELCompany")
    cases = [
        (lambda: company.GetQELCompanyInformation("abc"), 13, "lResConst"),
        (lambda: company.GetQELCompanyInformation(nope=1), 448, "nope"),
        (lambda: tavolin2.Dispatch("TAVOLIN2.NoSuchClass"), None, "NoSuchClass"),
        (lambda: tavolin2.LoadPicture("/nonexistent/x.png"), 53, "/nonexistent/x.png"),
        (lambda: tavolin2.SavePicture(tavolin2.PictureBox(4, 4), "/tmp/x.jpg"), 380, ".jpg"),
    ]
    for call, number, text in cases:
        with pytest.raises(tavolin2.ComError) as e:
            call()
        assert e.value.hresult < 0
        if number is not None:
            assert e.value.number == number, e.value.description
        assert text in e.value.description
        assert isinstance(e.value.source, str)


def test_kit_objects(tmp):
    box = tavolin2.PictureBox(60, 30)
    assert box.ScaleWidth == 60 and box.Width == 900
    box.Line(6, 0, 0, 9, 9, 0)
    box.CurrentX = 12
    box.Print("Hi")
    assert box.TextWidth("Hi") > 0
    for ext, magic in (("png", b"\x89PNG"), ("bmp", b"BM"), ("gif", b"GIF8")):
        path = tmp / f"box.{ext}"
        tavolin2.SavePicture(box, path)
        assert path.read_bytes().startswith(magic)
        picture = tavolin2.LoadPicture(path)
        assert picture.PixelWidth == 60 and picture.Type == 1
    names = tavolin2.ListBox(["a", "b"])
    names.AddItem("c", 0)
    assert names.ListCount == 3 and names.List(0) == "c"
    names.RemoveItem(0)
    assert [names.List(i) for i in range(names.ListCount)] == ["a", "b"]


def test_play_list_written_and_read(tmp):
    player = tavolin2.Dispatch("TAVOLIN2.MP3Class")
    path = str(tmp / "list.m3u")
    player.MP3SavePlayList(path, tavolin2.ListBox(["one.mp3", "C:\\x\\two.wav"]))
    assert (tmp / "list.m3u").read_bytes() == b"one.mp3\r\ntwo.wav\r\n".replace(b"two", b"C:\\x\\two")
    back = tavolin2.ListBox()
    player.MP3OpenPlayList(path, back)
    assert [back.List(i) for i in range(back.ListCount)] == ["one.mp3", "C:\\x\\two.wav"]


def test_events_and_handler_errors(tmp, capsys):
    class Progress:
        def __init__(self):
            self.seen = []

        def OnProgress(self, percents):
            self.seen.append(percents)

    gif = tavolin2.DispatchWithEvents("TAVOLIN2.GIF", Progress)
    picture = tavolin2.PictureBox(40, 40).Image
    assert gif.SaveGIF(picture, str(tmp / "a.gif")) is True
    assert gif.seen and gif.seen[-1] == 100 and all(isinstance(p, int) for p in gif.seen)

    class Broken:
        def OnProgress(self, percents):
            raise ValueError("handler failed")

    broken = tavolin2.DispatchWithEvents("TAVOLIN2.GIF", Broken)
    assert broken.SaveGIF(picture, str(tmp / "b.gif")) is True
    assert broken.event_errors and isinstance(broken.event_errors[0], ValueError)
    assert "handler failed" in capsys.readouterr().err
    # the save was not corrupted: the same bytes as without the broken handler
    assert (tmp / "a.gif").read_bytes() == (tmp / "b.gif").read_bytes()

    class Palette:
        def __init__(self):
            self.calls = []

        def OnInitProgress(self, maximum):
            self.calls.append(("init", maximum))

        def OnProgress(self, value):
            self.calls.append(("progress", value))

        def OnComplete(self, *args):
            self.calls.append(("complete",))

    palette = tavolin2.DispatchWithEvents("TAVOLIN2.cPalette", Palette)
    dib = tavolin2.Dispatch("TAVOLIN2.cDIBSection")
    dib.CreateFromPicture(picture)
    palette.CreateOptimal(dib, 16)
    assert palette.calls and palette.calls[0][0] == "init" and palette.calls[-1] == ("complete",)


@pytest.mark.skipif(not shutil.which("zbarimg"), reason="zbarimg is not installed")
def test_code128_reads_back(tmp):
    box = tavolin2.PictureBox(260, 90)
    barcode = tavolin2.Dispatch("TAVOLIN2.clsBCAT175")
    barcode.Barcode128Draw("PY-128", box, "PY-128", iBarHeight=40)
    tavolin2.SavePicture(box, tmp / "c.png")
    out = subprocess.run(["zbarimg", "-q", "--raw", str(tmp / "c.png")], capture_output=True, text=True)
    assert out.stdout.strip() == "PY-128"


def test_libraries_found_beside_the_package_then_by_the_install_config(tmp):
    """The wheel's layout (libraries beside __init__.py) needs no environment;
    TAVOLIN2_LIBRARY still picks a library; a CMake install's _config.py is
    used when nothing lies beside the package."""
    import os
    import sys
    from tavolin2 import _com
    built = os.path.dirname(os.path.abspath(_com.lib._name))
    package = os.path.dirname(os.path.abspath(tavolin2.__file__))

    def copy_package(to):
        to.mkdir(parents=True)
        for name in os.listdir(package):
            if name.endswith(".py") and name != "_config.py":
                shutil.copy(os.path.join(package, name), to / name)

    def loaded(site, **env):
        clean = {k: v for k, v in os.environ.items()
                 if k not in ("TAVOLIN2_LIBRARY", "TAVOLIN2_KIT_LIBRARY", "LD_LIBRARY_PATH")}
        clean.update(PYTHONPATH=str(site), PYTHONDONTWRITEBYTECODE="1", **env)
        code = ("import tavolin2, tavolin2._com as c; tavolin2.PictureBox(4, 4); "
                "print(c.lib._name); print(c.kit._name)")
        out = subprocess.run([sys.executable, "-c", code], env=clean, cwd=str(tmp), capture_output=True, text=True)
        assert out.returncode == 0, out.stderr
        return [os.path.dirname(os.path.abspath(p)) for p in out.stdout.split()]

    beside = tmp / "wheel" / "tavolin2"
    copy_package(beside)
    for name in ("libtavolin2.so.2", "libtavolin2-kit.so.2"):
        shutil.copy(os.path.realpath(os.path.join(built, name)), beside / name)
    assert loaded(beside.parent) == [str(beside)] * 2
    assert loaded(beside.parent, TAVOLIN2_LIBRARY=os.path.join(built, "libtavolin2.so.2")) == [built] * 2

    installed = tmp / "prefix" / "site" / "tavolin2"
    copy_package(installed)
    (installed / "_config.py").write_text(f"LIBDIR = {os.path.relpath(built, str(installed))!r}\n")
    assert loaded(installed.parent) == [os.path.normpath(built)] * 2
