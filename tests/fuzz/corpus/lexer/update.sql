-- comment
UPDATE t SET a = a || 'x' /* block
comment */ WHERE b >= 10 -- end