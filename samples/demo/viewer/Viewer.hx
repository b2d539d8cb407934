import flash.display.GradientType;
import flash.display.Loader;
import flash.display.Shape;
import flash.display.Sprite;
import flash.display.Stage;
import flash.display.StageAlign;
import flash.display.StageScaleMode;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.filters.DropShadowFilter;
import flash.geom.Matrix;
import flash.net.URLLoader;
import flash.net.URLRequest;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;
import flash.ui.Keyboard;

/**
	The demo book's start movie: a page-turning viewer. It reads book.xml from its own folder and
	shows the cover alone, then the pages two by two, as an open book does. Every name is passed to
	the player as book.xml gives it, Windows separators and all: the player finds the files.
**/
class Viewer extends Sprite {
	static inline var BAR = 56;
	static inline var GAP = 24;

	static function main() {
		flash.Lib.current.addChild(new Viewer(flash.Lib.current.stage));
	}

	var pageWidth = 600.0;
	var pageHeight = 800.0;
	var pages:Array<Page> = [];
	var spread = 0;
	var slide = 0.0;
	final book = new Sprite();
	final bar = new Shape();
	final label = Viewer.text(15, 0xE8E8E8);
	final previous:Button;
	final next:Button;
	final fullScreen:Button;

	function new(stage:Stage) {
		super();
		stage.scaleMode = StageScaleMode.NO_SCALE;
		stage.align = StageAlign.TOP_LEFT;
		book.filters = [new DropShadowFilter(6, 90, 0, 0.55, 18, 18, 1, 2)];
		previous = new Button("\u2039  Previous", 0x4A6EB4, function() go(spread - 1));
		next = new Button("Next  \u203A", 0x3C965A, function() go(spread + 1));
		fullScreen = new Button("Full screen", 0xC87828, function() {
			// The player switches full screen on and off when a movie calls this.
			if (ExternalInterface.available)
				ExternalInterface.call("fullscreen_error");
		});
		for (child in ([book, bar, label, previous, next, fullScreen] : Array<flash.display.DisplayObject>))
			addChild(child);
		stage.addEventListener(Event.RESIZE, function(_) layout());
		stage.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) {
			switch (e.keyCode) {
				case Keyboard.LEFT | Keyboard.PAGE_UP: go(spread - 1);
				case Keyboard.RIGHT | Keyboard.PAGE_DOWN: go(spread + 1);
				case Keyboard.HOME: go(0);
				case Keyboard.END: go(spreads() - 1);
			}
		});
		addEventListener(Event.ENTER_FRAME, function(_) {
			if (slide == 0)
				return;
			slide = Math.abs(slide) < 0.5 ? 0 : slide * 0.72;
			book.alpha += (1 - book.alpha) * 0.3;
			if (slide == 0)
				book.alpha = 1;
			layout();
		});
		label.text = "Opening the book\u2026";
		layout();

		var loader = new URLLoader();
		loader.addEventListener(Event.COMPLETE, function(_) try open(Xml.parse(loader.data)) catch (e:Dynamic) fail(Std.string(e)));
		loader.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) fail(e.text));
		loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(e:SecurityErrorEvent) fail(e.text));
		loader.load(new URLRequest("book.xml"));
	}

	function open(document:Xml) {
		var root = document.firstElement();
		if (root == null || root.nodeName != "book")
			throw "it has no book element";
		pageWidth = number(root.get("pagewidth"), pageWidth);
		pageHeight = number(root.get("pageheight"), pageHeight);
		for (chapters in root.elementsNamed("Chapters"))
			for (chapter in chapters.elementsNamed("chapter"))
				for (list in chapter.elementsNamed("Pages"))
					for (page in list.elementsNamed("page")) {
						var img = null;
						for (elem in page.elementsNamed("elem"))
							if (img == null)
								img = elem.elementsNamed("img").next();
						pages.push(new Page(pages.length, pageWidth, pageHeight, img));
					}
		if (pages.length == 0)
			throw "it lists no pages";
		for (page in pages)
			page.addEventListener(MouseEvent.CLICK, function(_) go(spread + (page.index % 2 == 1 ? -1 : 1)));
		go(0);
	}

	function fail(why:String) {
		for (control in [previous, next])
			control.visible = false;
		label.text = "The book could not be opened: book.xml cannot be read (" + why + ").";
		layout();
	}

	/** The cover alone, then pages 2-3, 4-5 and so on; the last spread may hold one page. **/
	function spreads():Int {
		return 1 + Std.int(pages.length / 2);
	}

	function shownPages():Array<Page> {
		return spread == 0 ? [pages[0]] : pages.slice(2 * spread - 1, 2 * spread + 1);
	}

	function go(to:Int) {
		if (pages.length == 0 || to < 0 || to >= spreads() || (to == spread && book.numChildren > 0))
			return;
		if (book.numChildren > 0) {
			slide = to > spread ? 60 : -60;
			book.alpha = 0.2;
		}
		spread = to;
		while (book.numChildren > 0)
			book.removeChildAt(0);
		for (page in shownPages())
			book.addChild(page);
		var shown = shownPages();
		var first = shown[0].index + 1, last = shown[shown.length - 1].index + 1;
		label.text = (first == last ? 'Page $first' : 'Pages $first\u2013$last') + ' of ${pages.length}';
		previous.enabled = spread > 0;
		next.enabled = spread < spreads() - 1;
		layout();
	}

	function layout() {
		if (stage == null)
			return;
		var w = stage.stageWidth, h = stage.stageHeight;
		bar.graphics.clear();
		bar.graphics.beginFill(0x1B1E24);
		bar.graphics.drawRect(0, h - BAR, w, BAR);
		bar.graphics.beginFill(0x3A3F4A);
		bar.graphics.drawRect(0, h - BAR, w, 1);

		var middle = h - BAR / 2;
		label.x = Math.round((w - label.width) / 2);
		label.y = Math.round(middle - label.height / 2);
		if (pages.length == 0 && !previous.visible)
			label.y = Math.round((h - BAR - label.height) / 2);
		previous.x = label.x - 24 - previous.width;
		next.x = label.x + label.width + 24;
		fullScreen.x = w - GAP / 2 - fullScreen.width;
		for (control in [previous, next, fullScreen])
			control.y = Math.round(middle - control.height / 2);

		// Two pages' room always, so the pages keep their size and place from spread to spread.
		var scale = Math.max(0.05, Math.min((w - 2 * GAP) / (2 * pageWidth), (h - BAR - 2 * GAP) / pageHeight));
		book.scaleX = book.scaleY = scale;
		book.x = Math.round((w - 2 * pageWidth * scale) / 2 + slide);
		book.y = Math.round((h - BAR - pageHeight * scale) / 2);
		for (page in shownPages())
			page.x = page.index % 2 == 1 ? 0 : pageWidth;
	}

	public static function text(size:Int, colour:Int):TextField {
		var field = new TextField();
		field.defaultTextFormat = new TextFormat("_sans", size, colour, true);
		field.autoSize = TextFieldAutoSize.LEFT;
		field.selectable = false;
		field.mouseEnabled = false;
		return field;
	}

	public static function number(value:String, otherwise:Float):Float {
		var n = value == null ? Math.NaN : Std.parseFloat(value);
		return Math.isNaN(n) || n <= 0 ? otherwise : n;
	}
}

/** One page: white paper, its picture where book.xml puts it, and the fold's shade. **/
private class Page extends Sprite {
	public final index:Int;

	public function new(index:Int, width:Float, height:Float, img:Null<Xml>) {
		super();
		this.index = index;
		buttonMode = true;
		graphics.beginFill(0xFFFFFF);
		graphics.drawRect(0, 0, width, height);
		if (img != null && img.exists("src")) {
			var picture = new Loader();
			picture.contentLoaderInfo.addEventListener(Event.COMPLETE, function(_) {
				var info = picture.contentLoaderInfo;
				picture.x = Viewer.number(img.get("left"), 0);
				picture.y = Viewer.number(img.get("top"), 0);
				picture.width = Viewer.number(img.get("width"), info.width);
				picture.height = Viewer.number(img.get("height"), info.height);
				if (Std.isOfType(picture.content, flash.display.Bitmap))
					(cast picture.content : flash.display.Bitmap).smoothing = true;
			});
			// A picture that cannot be loaded leaves its page blank; the book still opens.
			picture.contentLoaderInfo.addEventListener(IOErrorEvent.IO_ERROR, function(_) {});
			picture.load(new URLRequest(img.get("src")));
			addChildAt(picture, 0);
		}
		// The shade darkens the page towards the fold: the right edge of a left page, the left
		// edge of a right page (the cover is a right page).
		var fold = new Shape();
		var shade = width * 0.08, left = index % 2 == 1;
		var box = new Matrix();
		box.createGradientBox(shade, height, left ? Math.PI : 0, left ? width - shade : 0, 0);
		fold.graphics.beginGradientFill(GradientType.LINEAR, [0, 0], [0.22, 0], [0, 255], box);
		fold.graphics.drawRect(left ? width - shade : 0, 0, shade, height);
		addChild(fold);
	}
}

private class Button extends Sprite {
	final colour:Int;
	final caption = Viewer.text(14, 0xFFFFFF);

	public var enabled(default, set) = true;

	public function new(title:String, colour:Int, action:Void->Void) {
		super();
		this.colour = colour;
		caption.text = title;
		caption.x = 18;
		caption.y = Math.round((36 - caption.height) / 2);
		addChild(caption);
		buttonMode = true;
		draw(colour);
		addEventListener(MouseEvent.ROLL_OVER, function(_) draw(lighter(colour)));
		addEventListener(MouseEvent.ROLL_OUT, function(_) draw(colour));
		addEventListener(MouseEvent.CLICK, function(_) if (enabled) action());
	}

	function set_enabled(on:Bool):Bool {
		alpha = on ? 1 : 0.35;
		mouseEnabled = on;
		return enabled = on;
	}

	function draw(fill:Int) {
		graphics.clear();
		graphics.beginFill(fill);
		graphics.drawRoundRect(0, 0, caption.width + 36, 36, 12, 12);
	}

	static function lighter(rgb:Int):Int {
		var r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
		return (Std.int(r + (255 - r) * 0.2) << 16) | (Std.int(g + (255 - g) * 0.2) << 8) | Std.int(b + (255 - b) * 0.2);
	}
}
