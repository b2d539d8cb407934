import flash.display.Bitmap;
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
import flash.media.Sound;
import flash.net.SharedObject;
import flash.net.SharedObjectFlushStatus;
import flash.net.URLLoader;
import flash.net.URLRequest;
import flash.ui.Keyboard;

/**
	The test book's viewer framework, loaded by the preloader. It asks the player for everything a
	book's viewer asks for, by the relative names books use, one step at a time, then shows the
	pages and turns them, telling the player each page it shows.
**/
class Framework extends Sprite {
	static inline var MARGIN = 48;

	static function main() {
		flash.Lib.current.addChild(new Framework(flash.Lib.current.stage));
	}

	final steps:Steps;
	final background = new Shape();
	var names:Array<String> = [];
	var pages:Array<Loader> = [];
	var shown = 0;

	function new(stage:Stage) {
		super();
		stage.scaleMode = StageScaleMode.NO_SCALE;
		stage.align = StageAlign.TOP_LEFT;
		addChild(background);
		steps = new Steps(stage);
		steps.add("book", function() text("book.xml", readBook))
			.add("language", function() text("res/languages/en.xml", readLanguage))
			.add("images", loadImages)
			.add("sound", function() {
				var sound = new Sound(new URLRequest("res/sounds/bg.mp3"));
				sound.addEventListener(Event.COMPLETE, steps.guard(function(_) steps.next()));
				sound.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) steps.fail(e.text));
			})
			.add("bookmark", bookmark)
			.add("call", function() {
				if (!ExternalInterface.available)
					return steps.fail("ExternalInterface is not available");
				ExternalInterface.call("fullscreen_error");
				steps.next();
			})
			.add("show", function() {
				listen();
				show(0);
				steps.next();
			});
		steps.passed = function() Steps.report("ok");
		steps.next();
	}

	function listen() {
		stage.addEventListener(Event.RESIZE, function(_) layout());
		stage.addEventListener(MouseEvent.CLICK, function(_) turn(1));
		stage.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) {
			switch (e.keyCode) {
				case Keyboard.RIGHT | Keyboard.PAGE_DOWN | Keyboard.SPACE:
					turn(1);
				case Keyboard.LEFT | Keyboard.PAGE_UP:
					turn(-1);
			}
		});
	}

	function text(url:String, then:String->Void) {
		var loader = new URLLoader();
		loader.addEventListener(Event.COMPLETE, steps.guard(function(_) then(loader.data)));
		loader.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) steps.fail(url + ": " + e.text));
		loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(e:SecurityErrorEvent) steps.fail(url + ": " + e.text));
		loader.load(new URLRequest(url));
	}

	/** Every page's picture, in order over all chapters; a page without one has nothing to show here. **/
	function readBook(text:String) {
		var book = Xml.parse(text).firstElement();
		if (book == null || book.nodeName != "book")
			return steps.fail("book.xml has no book element");
		for (chapters in book.elementsNamed("Chapters"))
			for (chapter in chapters.elementsNamed("chapter"))
				for (list in chapter.elementsNamed("Pages"))
					for (page in list.elementsNamed("page"))
						for (elem in page.elementsNamed("elem")) {
							var img = elem.elementsNamed("img").next();
							if (img != null && img.exists("src")) {
								names.push(img.get("src"));
								break;
							}
						}
		if (names.length == 0)
			return steps.fail("book.xml has no page with an img");
		steps.next();
	}

	function readLanguage(text:String) {
		for (string in Xml.parse(text).firstElement().elementsNamed("string"))
			if (string.get("id") == "next" && string.firstChild() != null && string.firstChild().nodeValue != "")
				return steps.next();
		steps.fail("en.xml has no string next");
	}

	/**
		The pages by the names book.xml gives, and the second page again by the same name in other
		letters and with the other separators, as names in books often differ from the files.
	**/
	function loadImages() {
		var lower = names.map(function(n) return n.toLowerCase());
		if (names.length < 2 || !Lambda.exists(lower, n -> StringTools.endsWith(n, ".png"))
			|| !Lambda.exists(lower, n -> StringTools.endsWith(n, ".jpg") || StringTools.endsWith(n, ".jpeg")))
			return steps.fail("the book needs two pages or more, a JPEG and a PNG among them");
		var other = ~/[\/\\]/g.map(names[1].toUpperCase(), function(r) return r.matched(0) == "/" ? "\\" : "/");
		var all = names.concat([other]);
		var loaders:Array<Loader> = [];
		var left = all.length;
		function loaded() {
			if (--left > 0)
				return;
			var second = loaders[1].contentLoaderInfo, again = loaders[names.length].contentLoaderInfo;
			if (second.width != again.width || second.height != again.height)
				return steps.fail('$other is ${again.width}x${again.height}, ${names[1]} ${second.width}x${second.height}');
			pages = loaders.slice(0, names.length);
			steps.next();
		}
		for (name in all)
			loaders.push(image(name, loaded));
	}

	function image(name:String, loaded:Void->Void):Loader {
		var loader = new Loader();
		var info = loader.contentLoaderInfo;
		info.addEventListener(Event.COMPLETE, steps.guard(function(_) {
			if (!Std.isOfType(loader.content, Bitmap))
				return steps.fail('$name is not an image');
			cast(loader.content, Bitmap).smoothing = true;
			loaded();
		}));
		info.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) steps.fail('$name: ${e.text}'));
		info.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(e:SecurityErrorEvent) steps.fail('$name: ${e.text}'));
		loader.load(new URLRequest(name));
		return loader;
	}

	/**
		FLUSHED and PENDING both pass: PENDING means Flash asks the user for room, and the value
		stays readable meanwhile. A refusal throws, and the step fails with the error.
	**/
	function bookmark() {
		var shared = SharedObject.getLocal("pagewend-test");
		shared.data.bookmark = 2;
		var status = shared.flush();
		if (status != SharedObjectFlushStatus.FLUSHED && status != SharedObjectFlushStatus.PENDING)
			return steps.fail('flush gave $status');
		var back:Dynamic = SharedObject.getLocal("pagewend-test").data.bookmark;
		if (back != 2)
			return steps.fail('read back $back');
		steps.next();
	}

	function turn(by:Int) {
		var to = Std.int(Math.max(0, Math.min(pages.length - 1, shown + by)));
		if (to == shown)
			return;
		show(to);
		ExternalInterface.call("pagewend_page", to + 1);
	}

	function show(index:Int) {
		if (numChildren > 1)
			removeChildAt(1);
		shown = index;
		addChild(pages[index]);
		layout();
	}

	/** The page as large as fits, with a green band of MARGIN pixels or more all round. **/
	function layout() {
		var w = stage.stageWidth, h = stage.stageHeight;
		background.graphics.clear();
		background.graphics.beginFill(Steps.PASSED);
		background.graphics.drawRect(0, 0, w, h);
		var page = pages[shown], info = pages[shown].contentLoaderInfo;
		var scale = Math.max(0.01, Math.min((w - 2 * MARGIN) / info.width, (h - 2 * MARGIN) / info.height));
		page.scaleX = page.scaleY = scale;
		page.x = Math.round((w - info.width * scale) / 2);
		page.y = Math.round((h - info.height * scale) / 2);
	}
}
