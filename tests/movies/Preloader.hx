import flash.display.Loader;
import flash.display.Shape;
import flash.display.StageAlign;
import flash.display.StageScaleMode;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.ProgressEvent;
import flash.events.SecurityErrorEvent;
import flash.net.URLRequest;
import flash.system.ApplicationDomain;
import flash.system.LoaderContext;

/**
	The start movie of the test book, as books have it: a progress bar while it loads the viewer's
	framework from the book's folder, then the framework in its place.
**/
class Preloader {
	static function main() {
		var root = flash.Lib.current;
		var stage = root.stage;
		stage.scaleMode = StageScaleMode.NO_SCALE;
		stage.align = StageAlign.TOP_LEFT;
		var bar = new Shape();
		root.addChild(bar);
		var loader = new Loader();
		var steps = new Steps(stage);
		steps.add("framework", function() {
			var info = loader.contentLoaderInfo;
			info.addEventListener(ProgressEvent.PROGRESS, function(e:ProgressEvent) {
				var width = stage.stageWidth * 0.6;
				var x = (stage.stageWidth - width) / 2;
				var y = stage.stageHeight / 2 - 6;
				bar.graphics.clear();
				bar.graphics.beginFill(0x606060);
				bar.graphics.drawRect(x, y, width, 12);
				bar.graphics.beginFill(0xE0E0E0);
				bar.graphics.drawRect(x, y, e.bytesTotal > 0 ? width * e.bytesLoaded / e.bytesTotal : 0, 12);
			});
			info.addEventListener(Event.COMPLETE, steps.guard(function(_) {
				root.removeChild(bar);
				root.addChild(loader.content);
				steps.next();
			}));
			info.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) steps.fail(e.text));
			info.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(e:SecurityErrorEvent) steps.fail(e.text));
			// The framework carries its own copy of the Haxe runtime; in a domain of its own, its
			// classes are not taken for the preloader's same-named ones.
			loader.load(new URLRequest("framework.swf"), new LoaderContext(false, new ApplicationDomain()));
		});
		steps.next();
	}
}
